#!/usr/bin/env bash
# do of a script file or URL in a fresh directory: the header found in the text, the script's
# folder and object while it runs and as they were after it, its arguments, its currencies, a
# halt, #include, and the errors; then the report of one that reaches the top.
here=$(cd "$(dirname "$0")" && pwd)
source "$here/scratch_dir.bash"
source "$here/http_server.bash"

mkdir sub
cat >sub/titled.nuv <<'SCRIPT'
notes: nuv [x] and Nuvx [y] ]] [
Nuv [Title: "T"]
reduce [system/script/header/title what-dir system/script/path last system/state/source-files]
SCRIPT
cat >sub/nest.nuv <<'SCRIPT'
Nuv [Title: "outer"]
inner: do %deeper.nuv
reduce [inner last system/state/source-files what-dir]
SCRIPT
cat >sub/deeper.nuv <<'SCRIPT'
Nuv [Title: "inner"]
reduce [copy system/state/source-files system/script/parent/header/title]
SCRIPT
cat >sub/fails.nuv <<'SCRIPT'
Nuv []
change-dir %..
system/script/parent: none
1 / 0
SCRIPT
cat >sub/args.nuv <<'SCRIPT'
Nuv []
system/script/args
SCRIPT
cat >sub/inc.nuv <<'SCRIPT'
Nuv []
#macro twice: func [x] [reduce [x x]]
included: 1
SCRIPT
cat >sub/main.nuv <<'SCRIPT'
Nuv []
#include %inc.nuv
reduce [twice 5 included]
SCRIPT
cat >sub/directive.nuv <<'SCRIPT'
Nuv []
#trace maybe
ran: true
SCRIPT
cat >sub/refused.nuv <<'SCRIPT'
Nuv [currencies: [abcd]]
ran: true
SCRIPT
printf 'Nuv [currencies: [abc]]\nlast system/locale/currencies/list\n' >currency.nuv
printf 'Nuv []\nthrow/name quote halt-request quote console\nprint "not reached"\n' >halt.nuv
printf 'Nuv: not a header; Nuv/Systemic [x] nuv [y]\n' >plain.txt
printf 'Nuv/System [] 1\n' >system.nuv

cat >cases.nuv <<CASES
Nuv [Title: "do of script files and URLs"]

[err: func [code] [e: try code reduce [e/type e/id e/arg1 e/arg2 e/arg3]] 0] 0
[home: what-dir outer: system/script files: copy system/state/source-files 0] 0
[as-before?: does [all [what-dir = home same? system/script outer system/state/source-files = files]] 0] 0

; the script runs from its header signature on, in its own folder and object
[do %sub/titled.nuv] ["T" %$dir/sub/ %$dir/sub/ %sub/titled.nuv]
[as-before?] true
[do %sub/nest.nuv] [[[%sub/nest.nuv %deeper.nuv] "outer"] %sub/nest.nuv %$dir/sub/]
[as-before?] true
; its arguments are the /args value, none without it; a trace callback sees it run
[do/args %sub/args.nuv "a b"] "a b"
[do %sub/args.nuv] none
[n: 0 reduce [do-file %sub/args.nuv func [event code offset value ref frame] [n: n + 1] "x" n > 0]] ["x" true]

; errors: the text has no header, the header is refused, the file is missing, the script fails
; after leaving its folder and cutting its object from its parent
[err [do %plain.txt]] [syntax no-header %plain.txt none none]
[err [do %system.nuv]] [internal nuv-system none none none]
[err [do %missing.nuv]] [access cannot-open %missing.nuv none none]
[err [do %sub/fails.nuv]] [math zero-divide none none none]
[as-before?] true

; the header's currencies are appended; a refused one stops the script before it runs
[do %currency.nuv] ABC
[err [do %sub/refused.nuv]] [script protected none none none]
[reduce [value? 'ran as-before?]] [false true]

; a halt thrown to the console ends the script only; while the code is prepared it goes on
[print unset? do %halt.nuv] output "(halted)^/true^/"
[c: system/console system/console: make object! [] r: catch/name [do %sub/directive.nuv] 'console system/console: c print mold reduce [r value? 'ran as-before?]] output "*** Preprocessor Error: Syntax error^/*** Where: #trace maybe^/[halt-request false true]^/"

; an included file's macros are registered from the script's folder, and the file runs there
[do %sub/main.nuv] [5 5 1]
[as-before?] true

; a script served over http
[do $base/script] 3
[do $base/titled] ["U" none %$dir/]
[err [do $base/missing]] [syntax no-header $base/missing none none]
[as-before?] true
CASES

if ! "$run" --cases cases.nuv; then failed=1; fi

# An error out of a script reaches the top as any other: its report, and status 1.
out=$("$run" -e 'do %plain.txt print "went on"' 2>stderr.txt)
rc=$?
first=$(head -n 1 stderr.txt)
if [[ -n $out || $rc -ne 1 || $first != '*** Syntax Error: script is missing a Nuv header: plain.txt' ]]; then
    printf 'FAIL report\n  got (status %s):\n%s\n  stderr:\n%s\n' "$rc" "$out" "$(<stderr.txt)"
    failed=1
fi
exit $failed
