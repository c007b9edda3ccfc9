# json_fresh: json with its own names; a 20 MB JSON array read by json.loads, then its records
# summed.
import sys

sys.path.pop(0)  # this folder has a json.py of its own: the standard module must come first
import json  # noqa: E402

with open("/tmp/nuv-bench-data/data.json", encoding="utf-8") as source_file:
    json_text = source_file.read()
records = json.loads(json_text)
print(len(records), sum(one["id"] for one in records), sum(len(one["tags"]) for one in records))
