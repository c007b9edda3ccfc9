# json: a 20 MB JSON array read by json.loads, then its records summed.
import sys

sys.path.pop(0)  # this folder has a json.py of its own: the standard module must come first
import json  # noqa: E402

with open("/tmp/nuv-bench-data/data.json", encoding="utf-8") as f:
    text = f.read()
data = json.loads(text)
print(len(data), sum(r["id"] for r in data), sum(len(r["tags"]) for r in data))
