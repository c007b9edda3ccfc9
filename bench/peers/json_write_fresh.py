# json_write_fresh: json_write with its own names; a 20 MB JSON array read by json.loads and
# written again by json.dumps (compact, UTF-8 kept); prints the length of the text written.
import sys

sys.path.pop(0)  # this folder has a json.py of its own: the standard module must come first
import json  # noqa: E402

with open("/tmp/nuv-bench-data/data.json", encoding="utf-8") as source_file:
    records = json.loads(source_file.read())
print(len(json.dumps(records, separators=(",", ":"), ensure_ascii=False)))
