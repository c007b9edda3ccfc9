#!/usr/bin/env bash
# The download cache under a fresh HOME: entry paths, entries filled from a local server, and
# the same entries read again once the server has stopped. No proxy.
here=$(cd "$(dirname "$0")" && pwd)
source "$here/scratch_dir.bash"
source "$here/http_server.bash"
dir=$(pwd -P)
export HOME=$dir/home
cache=$HOME/.nuv/cache

cat >filled.nuv <<CASES
Nuv [Title: "download cache: entry paths and entries filled from the server"]

[err: func [code] [e: try code reduce [e/id e/arg1]] 0] 0

; the cache folder is made, with its missing parents, at the first use
[reduce [system/options/cache system/options/thru-cache exists? %$HOME/]] [%$HOME/.nuv/ none false]
[path-thru http://example.com/a.txt] %$cache/C5/C5EB1FCBE1A90C69C4AA74B059A77C9F
[reduce [system/options/thru-cache exists? %$cache/C5/ exists-thru? http://example.com/a.txt]] [%$cache/ true false]
[u: http://example.com/a.txt (path-thru u) = path-thru u] true
[(path-thru http://example.com/A.txt) = path-thru http://example.com/a.txt] false
[reduce [exists-thru? %filled.nuv exists-thru? %missing.txt]] [true false]

; an entry keeps what was read, written as bytes; an existing entry answers without the server
[exists-thru? $base/page] false
[read-thru $base/page] "a^/b"
[reduce [exists-thru? $base/page read/binary path-thru $base/page]] [true #{610A62}]
[read-thru/binary $base/page] #{610A62}
[read-thru/binary/update $base/page] #{610D0A62}
[read/binary path-thru $base/page] #{610D0A62}
[read-thru/binary $base/cookies] #{63}
; an entry that cannot be written is passed over: the data still comes back
[make-dir dirize path-thru $base/moved read-thru/update $base/moved] "a^/b"
[exists? dirize path-thru $base/moved] true
; a URL that cannot be read raises read's error and leaves no entry
[err [read-thru http://127.0.0.1:$unused/x]] [no-connect http://127.0.0.1:$unused/x]
[exists-thru? http://127.0.0.1:$unused/x] false
[err [read-thru 5]] [expect-arg read-thru]
CASES

cat >stopped.nuv <<CASES
Nuv [Title: "download cache: entries read after the server stopped"]

[err: func [code] [e: try code reduce [e/id e/arg1]] 0] 0

[read-thru $base/page] "a^/b"
[read-thru/binary $base/page] #{610D0A62}
[read-thru/binary $base/cookies] #{63}
[system/options/thru-cache] %$cache/
[err [read-thru/update $base/page]] [no-connect $base/page]
[read/binary path-thru $base/page] #{610D0A62}
[err [read-thru $base/missing]] [no-connect $base/missing]
[exists-thru? $base/missing] false
CASES

if ! "$run" --cases filled.nuv; then failed=1; fi
kill $server
wait $server 2>/dev/null
if ! "$run" --cases stopped.nuv; then failed=1; fi
exit $failed
