# empty: start-up alone, subtracted from every other count
