#!/usr/bin/env bash
# read and write of an http url! against a local echo server on a free port, no proxy.
here=$(cd "$(dirname "$0")" && pwd)
source "$here/scratch_dir.bash"
source "$here/http_server.bash"

cat >cases.nuv <<CASES
Nuv [Title: "url!: read and write over http"]

[err: func [code] [e: try code reduce [e/id e/arg1]] 0] 0

; bodies as text, bytes and lines; a 404 body comes back like any other
[read $base/page] "a^/b"
[read/binary $base/page] #{610D0A62}
[read/lines $base/page] ["a" "b"]
[read $base/missing] "not here"

; the codecs fetch a url! payload: a page that is no document, or no image, is refused as such
[err [system/codecs/nuvbin/decode $base/page]] [invalid-data $base/page]
[err [system/codecs/png/decode $base/page]] [bad-media none]
[err [system/codecs/nuvbin/decode http://127.0.0.1:$unused/x]] [no-connect http://127.0.0.1:$unused/x]
[read $base/moved] "a^/b"

; load: a page's text as values, a body typed as an image through its codec, none for a status
; other than 200
[mold/flat load $base/page] "[a b]"
[i: load $base/png reduce [image? i i/size pick i 1]] [true 1x1 255.0.0.0]
[i: load/as $base/png 'png i/size] 1x1
[load $base/missing] none
[reduce [value? 'name value? 'codec value? 'mime]] [false false false]
[err [load http://127.0.0.1:$unused/]] [no-connect http://127.0.0.1:$unused/]

; /info: the status, the final response's headers, the body
[i: read/info $base/cookies reduce [length? i i/1 i/3]] [3 200 "c"]
[select i/2 'Set-Cookie] ["a=1" "b=2"]
[select i/2 'X-One] "x"
[map? i/2] true
[i: read/info $base/moved reduce [i/1 none? select i/2 'X-Old i/3]] [200 true "a^/b"]
[i: read/info $base/missing i/1] 404
; header bytes that are not UTF-8 read as U+FFFD
[i: read/info $base/odd reduce [i/1 select i/2 'X-Odd select i/2 to word! "X-^(FFFD)" i/3]] [200 "a^(FFFD)b" "y" "c"]

; requests: method, headers and body as the server saw them
[t: read $base/echo to logic! find/match t "GET /echo"] true
[to logic! find t "Content-Type: application/x-www-form-urlencoded"] true
[to logic! find t "Accept-Charset: UTF-8"] true
[to logic! find t "User-Agent: Nuv (Linux)"] true
[t: write $base/echo "a=1" reduce [to logic! find/match t "POST /echo" to logic! find t "Content-Type: application/x-www-form-urlencoded" to logic! find t "Accept-Charset: UTF-8" to logic! find t "User-Agent: Nuv (Linux)" to logic! find t "^/^/a=1"]] [true true true true true]
[t: write $base/echo [put [Content-Type: "text/plain"] "x"] reduce [to logic! find/match t "PUT /echo" to logic! find t "Content-Type: text/plain" none? find t "Accept-Charset" none? find t "x-www-form" to logic! find t "^/^/x"]] [true true true true true]
[t: write $base/echo [get] to logic! find/match t "GET /echo"] true
[t: write $base/echo [] to logic! find/match t "GET /echo"] true
[t: write $base/echo [delete []] reduce [to logic! find/match t "DELETE /echo" none? find t "Accept-Charset"]] [true true]
; a headers block, an empty one too, sends only its own headers
[t: write $base/echo [get []] reduce [none? find t "User-Agent" none? find t "Accept-Charset" none? find t "Content-Type"]] [true true true]
[t: write $base/echo [put [Content-Type: "text/plain"] "x"] none? find t "User-Agent"] true
[t: write $base/echo [get [User-Agent: "me"]] reduce [to logic! find t "User-Agent: me^/" none? find t "Nuv (Linux)"]] [true true]
[t: write $base/echo [post [] #{0102}] to logic! find t "^/^/^(01)^(02)"] true
[t: write $base/echo "héllo" to logic! find t "héllo"] true

; refused and not built
[err [write $base/echo [post "x"]]] [invalid-arg "x"]
[err [write $base/echo ["post"]]] [invalid-arg "post"]
[err [write $base/echo [post [] 12]]] [invalid-arg 12]
[err [write $base/echo [post [] [1]]]] [invalid-arg [1]]
[err [write $base/echo 12]] [invalid-arg 12]
; a CR, LF or NUL in a header would end its line and start another
[err [write $base/echo [get [X-A: "v^M^/X-Injected: yes"]]]] [invalid-arg "v^M^/X-Injected: yes"]
[err [write $base/echo [get [X-A: "v^/tail"]]]] [invalid-arg "v^/tail"]
[err [write $base/echo [get [X-A: "v^@tail"]]]] [invalid-arg "v^@tail"]
[err [write $base/echo [get ["X-A^Mb" "v"]]]] [invalid-arg "X-A^Mb"]
[err [write $base/echo [get [X-A: "v^M^/X-Injected: yes"] "x"]]] [invalid-arg "v^M^/X-Injected: yes"]
; a url! holding a NUL is refused before any request, never cut short
[u: to url! "$base/page^@x" e: try [read u] reduce [e/id e/arg1 = u]] [invalid-arg true]
[e: try [write u "x"] reduce [e/id e/arg1 = u]] [invalid-arg true]
[e: try [system/codecs/nuvbin/decode u] reduce [e/id e/arg1 = u]] [invalid-arg true]
[err [read/part $base/page 1]] [not-done none]
[err [read/seek $base/page 1]] [not-done none]
[err [read/as $base/page 'utf-8]] [not-done none]
[err [write/seek $base/echo "x" 1]] [not-done none]
[err [read http://127.0.0.1:$unused/]] [no-connect http://127.0.0.1:$unused/]
CASES

if ! "$run" --cases cases.nuv; then failed=1; fi
exit $failed
