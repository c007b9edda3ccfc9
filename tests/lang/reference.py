"""What the outside-reference scripts share: run a Nuv script of one `print` per case and
compare each printed line with the reference's answer; the text of a date as date! writes it."""
import os
import subprocess
import sys
import tempfile

MONTHS = ["Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"]


def zone_text(minutes):
    if minutes == 0:
        return ""
    sign = "-" if minutes < 0 else "+"
    return f"{sign}{abs(minutes) // 60:02}:{abs(minutes) % 60:02}"


def date_text(d):
    """An aware datetime as date! writes it: no zone shown for UTC."""
    year = f"{d.year:04}" if d.year < 100 else str(d.year)
    offset = int(d.utcoffset().total_seconds()) // 60
    return (f"{d.day}-{MONTHS[d.month - 1]}-{year}/{d.hour}:{d.minute:02}:{d.second:02}"
            f"{zone_text(offset)}")


def check(run, script, wanted, same=lambda have, want: have == want, labels=None):
    """Runs the lines of `script` with nuv-run `run`, compares line i of the output with
    wanted[i] by `same`, reports the first failures (case i named by labels[i], else by line i
    of the script) and exits 1 on any failure, else 0."""
    labels = labels or script
    with tempfile.NamedTemporaryFile("w", suffix=".nuv", delete=False) as f:
        f.write("Nuv []\n" + "\n".join(script) + "\n")
        path = f.name
    out = subprocess.run([run, path], capture_output=True, text=True, check=False)
    os.unlink(path)
    got = out.stdout.split("\n")
    failed = 0
    for i, want in enumerate(wanted):
        have = got[i] if i < len(got) else "<nothing>"
        if not same(have, want):
            failed += 1
            if failed <= 5:
                print(f"FAIL {labels[i][:120]}\n  wanted: {str(want)[:120]}\n     got: {have[:120]}")
    if out.returncode != 0:
        print(f"nuv-run exited with {out.returncode}: {out.stdout[-400:]} {out.stderr[-400:]}")
        failed += 1
    print(f"{len(wanted) - failed} passed, {failed} failed")
    sys.exit(1 if failed else 0)
