# dates: 1M date additions, each read for its weekday
import datetime

day = datetime.date(2000, 1, 1)
one = datetime.timedelta(days=1)
total = 0
for _ in range(1000000):
    day = day + one
    total += day.isoweekday()
print(total, day.year)
