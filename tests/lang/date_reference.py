"""100,000 random dates of the years 1-9999 with a time and a zone: adding days, difference,
weekday, ISO week, day of the year, Unix seconds (refused outside 32 bits) and equality of one
instant written in another zone, each compared with what Python's datetime gives.
Usage: date_reference.py NUV-RUN."""
import datetime as dt
import random
import sys

import reference

run = sys.argv[1]
rng = random.Random(1970)
COUNT = 100_000
EPOCH = dt.datetime(1970, 1, 1, tzinfo=dt.timezone.utc)
text = reference.date_text


def random_zone():
    minutes = rng.randrange(-63, 64) * 15
    return dt.timezone(dt.timedelta(minutes=minutes))


def random_date():
    # Two days of margin at each end leave room for any zone.
    start = dt.date(1, 1, 3).toordinal()
    end = dt.date(9999, 12, 29).toordinal()
    day = dt.date.fromordinal(rng.randrange(start, end + 1))
    return dt.datetime(day.year, day.month, day.day, rng.randrange(24), rng.randrange(60),
                       rng.randrange(60), tzinfo=random_zone())


def duration(seconds):
    sign = "-" if seconds < 0 else ""
    s = abs(seconds)
    return f"{sign}{s // 3600}:{s % 3600 // 60:02}:{s % 60:02}"


cases = []
wanted = []
low = dt.datetime(1, 1, 3, tzinfo=dt.timezone.utc)
high = dt.datetime(9999, 12, 29, tzinfo=dt.timezone.utc)
for _ in range(COUNT):
    d = random_date()
    other = random_date()
    span_low = (low - d).days + 1
    span_high = (high - d).days - 1
    n = rng.randrange(span_low, span_high + 1) if rng.random() < 0.5 else rng.randrange(-1000, 1001)
    n = max(span_low, min(span_high, n))
    moved = random_zone()
    same_instant = d.astimezone(moved)
    seconds = int((d - EPOCH).total_seconds())
    unix = str(seconds) if -2**31 <= seconds < 2**31 else "E"
    iso = d.isocalendar()
    difference = int((d - other).total_seconds())
    cases.append(f"{text(d)} {n} {text(other)} {text(same_instant)}")
    zone_differs = d.utcoffset() != same_instant.utcoffset()
    wanted.append(" ".join([
        text(d + dt.timedelta(days=n)), duration(difference), str(d.isoweekday()), str(iso[1]),
        str(d.timetuple().tm_yday), unix, "true", "false" if zone_differs else "true"]))

script = ["cases: ["] + cases + ["]", """foreach [d n e z] cases [
    u: either error? u: try [to integer! d] ["E"] [u]
    print reduce [d + n form difference d e d/weekday d/isoweek d/yearday u d = z d == z]
]"""]
reference.check(run, script, wanted, labels=cases)
