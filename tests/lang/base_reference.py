"""Random bytes of many lengths, encoded by enbase in bases 64 and 16 and compared with what
Python's base64 module gives; the module's encodings (base 16 in lower case too) decoded by
debase back to the bytes. Usage: base_reference.py NUV-RUN."""
import base64
import random
import sys

import reference_run

run = sys.argv[1]
rng = random.Random(4648)
lengths = list(range(0, 70)) + [rng.randrange(100, 4000) for _ in range(30)]
cases = [bytes(rng.randrange(256) for _ in range(n)) for n in lengths]

script = []
wanted = []
for data in cases:
    literal = "#{" + data.hex().upper() + "}"
    b64 = base64.b64encode(data).decode()
    b16 = base64.b16encode(data).decode()
    script.append(f"print enbase {literal}")
    wanted.append(b64)
    script.append(f"print enbase/base {literal} 16")
    wanted.append(b16)
    script.append(f'print equal? debase "{b64}" {literal}')
    wanted.append("true")
    script.append(f'print equal? debase/base "{b16.lower()}" 16 {literal}')
    wanted.append("true")
    unpadded = b64.rstrip("=")
    script.append(f'print equal? debase "{unpadded}" {literal}')
    wanted.append("true")

sys.exit(reference_run.check(run, "Nuv []\n" + "\n".join(script) + "\n", wanted, script))
