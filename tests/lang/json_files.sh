#!/usr/bin/env bash
# The json codec with files in a fresh directory: save writes JSON text by the suffix and load
# reads it back.
source "$(dirname "$0")/scratch_dir.bash"

printf '{"a": [1, 2.5, "\\u00e9"], "b c": null}' >given.json

cat >cases.nuv <<'CASES'
Nuv [Title: "the json codec with files"]

[save %x.json reduce [1 "a" none make map! reduce [quote k reduce [true]]] read %x.json] {[1,"a",null,{"k":[true]}]}
[load %x.json] [1 "a" none #[k: [true]]]
[m: load %given.json reduce [m/a select m "b c"]] [[1 2.5 "é"] none]
[system/codecs/json/decode %given.json] #[a: [1 2.5 "é"] "b c" #(none)]
[error? load/as to binary! "[1," 'json] true
CASES

if ! "$run" --cases cases.nuv; then failed=1; fi
exit $failed
