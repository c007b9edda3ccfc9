"""1,000 random dates of the years 2-9998 with a time and a zone, moved by to-local-date and
to-UTC-date, compared with Python's astimezone. Nuv runs with TZ=Asia/Kolkata, whose offset is
+05:30 all year, so the local zone of today is the zone of every date.
Usage: date_zone_reference.py NUV-RUN."""
import datetime as dt
import os
import random
import sys

import reference

run = sys.argv[1]
rng = random.Random(530)
COUNT = 1_000
LOCAL = dt.timezone(dt.timedelta(hours=5, minutes=30))
os.environ["TZ"] = "Asia/Kolkata"

start = dt.date(2, 1, 1).toordinal()
end = dt.date(9998, 12, 31).toordinal()
cases = []
wanted = []
for _ in range(COUNT):
    day = dt.date.fromordinal(rng.randrange(start, end + 1))
    zone = dt.timezone(dt.timedelta(minutes=rng.randrange(-63, 64) * 15))
    d = dt.datetime(day.year, day.month, day.day, rng.randrange(24), rng.randrange(60),
                    rng.randrange(60), tzinfo=zone)
    cases.append(reference.date_text(d))
    wanted.append(f"{reference.date_text(d.astimezone(LOCAL))} "
                  f"{reference.date_text(d.astimezone(dt.timezone.utc))}")

script = ["cases: ["] + cases + ["]", "foreach d cases [print [to-local-date d to-UTC-date d]]"]
reference.check(run, script, wanted, labels=cases)
