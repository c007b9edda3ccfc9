# reactivity_fresh: reactivity with other names
class Watched:
    def __init__(self, **fields):
        object.__setattr__(self, "_watchers", [])
        for name, value in fields.items():
            object.__setattr__(self, name, value)

    def __setattr__(self, name, value):
        object.__setattr__(self, name, value)
        for source, action in self._watchers:
            if source == name:
                action()


feeder = Watched(quantity=0)
mirror = Watched(twice=0)


def follow():
    mirror.twice = feeder.quantity * 2


feeder._watchers.append(("quantity", follow))
follow()
step_no = 0
for _ in range(100000):
    step_no = step_no + 1
    feeder.quantity = step_no
print(mirror.twice)
