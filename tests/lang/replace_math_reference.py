"""replace/all/case over random texts against Python's str.replace (patterns of one character or
more, given as text, as a parse rule or as a set of its one character), and math over random
expressions of + - * / ** on the digits 0-9 and parens against Python's evaluation of the same
text: results within 1e-9 relative, and a zero divisor raising math zero-divide where Python
raises ZeroDivisionError.
Usage: replace_math_reference.py NUV-RUN."""
import ast
import math
import operator
import random
import sys

import reference

run = sys.argv[1]
rng = random.Random(7106)

script = ["""calc: func [expression /local result] [
    either error? result: try [math expression] [print result/id] [print result]
]"""]
wanted, labels, kinds = [], [], []


def text_literal(text):
    return '"' + text.replace("^", "^^").replace('"', '^"') + '"'


# Texts: pieces that repeat, overlap and differ only in case, with characters beyond ASCII and
# the two the literal escapes.
PIECES = ["a", "A", "b", "ab", "aa", "é", "É", "€", "^", '"', " ", "-", "{", "}"]
for i in range(150):
    size = 3000 if i == 149 else rng.randint(0, 40)
    text = "".join(rng.choice(PIECES) for _ in range(size))
    if text and rng.random() < 0.5:
        start = rng.randrange(len(text))
        pattern = text[start:start + rng.randint(1, 4)]
    else:
        pattern = "".join(rng.choice(PIECES) for _ in range(rng.randint(1, 2)))
    value = rng.choice(["", pattern, pattern + pattern, "x",
                        "".join(rng.choice(PIECES) for _ in range(rng.randint(0, 5)))])
    # The pattern as text, as a parse rule of that text, or as a set of its one character.
    form = ["{}", "[{}]", "charset {}"][i % 3 if len(pattern) == 1 else i % 2]
    script.append(f"print replace/all/case {text_literal(text)} "
                  f"{form.format(text_literal(pattern))} {text_literal(value)}")
    wanted.append(text.replace(pattern, value))
    labels.append(f"replace/all/case {text!r} {form.format(repr(pattern))} {value!r}")
    kinds.append("text")

# Expressions: a random tree printed with parens where they are drawn; an exponent is a literal
# digit 0-3 and never the base of another power, so each one stays literal after grouping.
OPS = {ast.Add: operator.add, ast.Sub: operator.sub, ast.Mult: operator.mul,
       ast.Div: operator.truediv, ast.Pow: operator.pow}
LIMIT = 1e15


def expression(depth):
    if depth == 0 or rng.random() < 0.3:
        return str(rng.randint(0, 9))
    op = rng.choice(["+", "-", "*", "/", "**"])
    left = expression(depth - 1)
    if op == "**":
        return f"({left}) ** {rng.randint(0, 3)}" if " " in left else f"{left} ** {rng.randint(0, 3)}"
    right = expression(depth - 1)
    text = f"{left} {op} {right}"
    return f"({text})" if rng.random() < 0.4 else text


class Skip(Exception):
    """An expression the comparison leaves out."""


def evaluate(node):
    """The value of a parsed expression, each step checked: below LIMIT, and a division by
    zero counted only where both operands are integers (a float divided by zero is infinite
    here, an error in Python)."""
    if isinstance(node, ast.Expression):
        return evaluate(node.body)
    if isinstance(node, ast.Constant):
        return node.value
    left, right = evaluate(node.left), evaluate(node.right)
    if isinstance(node.op, ast.Div) and right == 0:
        if isinstance(left, int) and isinstance(right, int):
            raise ZeroDivisionError
        raise Skip
    if isinstance(node.op, ast.Div) and isinstance(left, int) and isinstance(right, int) \
            and left % right == 0:
        result = left // right
    else:
        result = OPS[type(node.op)](left, right)
    if abs(result) >= LIMIT:
        raise Skip
    return result


count = 0
while count < 400:
    text = expression(rng.randint(1, 5))
    try:
        value = evaluate(ast.parse(text, mode="eval"))
        eval(text)  # the check against Python's own precedence
    except ZeroDivisionError:
        value = "zero-divide"
    except Skip:
        continue
    script.append(f"calc [{text}]")
    wanted.append(value)
    labels.append(f"math [{text}]")
    kinds.append("number")
    count += 1


def same(have, want):
    if isinstance(want, str):
        return have == want
    try:
        number = float(have)
    except ValueError:
        return False
    return math.isclose(number, want, rel_tol=1e-9, abs_tol=1e-300)


reference.check(run, script, wanted, same=same, labels=labels)
