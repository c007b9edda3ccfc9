# dates_fresh: dates with names the boot never made
import datetime

stamp = datetime.date(2000, 1, 1)
one = datetime.timedelta(days=1)
weekday_sum = 0
for _ in range(1000000):
    stamp = stamp + one
    weekday_sum += stamp.isoweekday()
print(weekday_sum, stamp.year)
