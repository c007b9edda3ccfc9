# reactivity: 100,000 changes of a reactive field with one relation
class Reactor:
    def __init__(self, **fields):
        object.__setattr__(self, "_relations", [])
        for name, value in fields.items():
            object.__setattr__(self, name, value)

    def __setattr__(self, name, value):
        object.__setattr__(self, name, value)
        for source, action in self._relations:
            if source == name:
                action()


src = Reactor(x=0)
dst = Reactor(y=0)


def relation():
    dst.y = src.x * 2


src._relations.append(("x", relation))
relation()
i = 0
for _ in range(100000):
    i = i + 1
    src.x = i
print(dst.y)
