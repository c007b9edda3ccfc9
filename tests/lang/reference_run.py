"""Runs a generated Nuv script and compares its output lines with the wanted ones, as the
outside-reference scripts share it."""
import os
import subprocess
import tempfile


def check(run, source, wanted, labels):
    """Runs `source` with nuv-run `run`; line i of its output must be wanted[i] (labels[i]
    names the case in a report). Prints a summary and returns the exit status."""
    with tempfile.NamedTemporaryFile("w", suffix=".nuv", delete=False) as f:
        f.write(source)
        path = f.name
    out = subprocess.run([run, path], capture_output=True, text=True, check=False)
    os.unlink(path)
    got = out.stdout.split("\n")
    failed = 0
    for i, want in enumerate(wanted):
        have = got[i] if i < len(got) else "<nothing>"
        if have != want:
            failed += 1
            if failed <= 5:
                print(f"FAIL {labels[i][:120]}\n  wanted: {want[:120]}\n     got: {have[:120]}")
    if out.returncode != 0:
        print(f"nuv-run exited with {out.returncode}: {out.stdout[-400:]} {out.stderr[-400:]}")
        failed += 1
    print(f"{len(wanted) - failed} passed, {failed} failed")
    return 1 if failed else 0
