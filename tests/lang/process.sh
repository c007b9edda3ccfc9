#!/usr/bin/env bash
# Child processes in a fresh directory: exit statuses, the shell retry, the three streams fed
# and drained together, output appended to a file, and a child that stops reading its input.
source "$(dirname "$0")/scratch_dir.bash"

cat >cases.nuv <<'CASES'
Nuv [Title: "call: statuses, streams and the shell"]

[err: func [code] [e: try code reduce [e/id e/arg1]] 0] 0

; statuses: a command not found as a program runs through the shell
[call ""] 0
[call/wait "sh -c 'exit 3'"] 3
[call/wait "exit 4"] 4
[call/wait/shell "exit 5"] 5
[call/wait "sh -c 'kill -9 $$'"] 137
[call/wait "no-such-program-here"] 127
[call/wait {sh -c "exit 6"}] 6
[call/wait %true] 0
[err [call/console "true"]] [not-done none]
; the whole command goes to the shell, its own syntax and all
[o: copy "" call/output "no-such-program-here; echo ran" o o] "ran^/"
; a NUL would cut the command: nothing starts
[o: copy "" reduce [call/wait/output "echo a^@b" o o call/wait/shell "echo a^@b"]] [-1 "" -1]

; output is decoded as UTF-8 with its line ends made LF; a binary! gets the bytes
[o: copy "" call/output "echo hi" o o] "hi^/"
[o: copy "" call/output "printf 'a\r\nb\rc'" o o] "a^/b^/c"
[o: copy "x" call/output "printf y" o o] "xy"
[o: copy #{} call/output "printf 'a\r\n'" o o] #{610D0A}
[o: copy "" call/input/output "cat" "héllo" o o] "héllo"
[o: copy "" call/input/output "cat" #{6869} o o] "hi"
[o: copy "" call/input/output "cat" next "abc" o o] "bc"
[e: copy "" call/error "sh -c 'echo bad >&2'" e e] "bad^/"
[o: copy "" call/output "echo 'a  b' ^"c d^"" o o] "a  b c d^/"

; large streams arrive whole in both directions at once
[big: append/dup copy "" "x" 1048576 0] 0
[o: copy "" e: copy "" call/input/output/error "sh -c 'cat; head -c 1048576 /dev/zero | tr \\000 y >&2'" big o e reduce [length? o length? e o = big]] [1048576 1048576 true]
; a child that reads nothing neither blocks nor ends us
[call/input "true" big] 0
[call/input "sh -c 'exec 0<&-; sleep 0.1'" big] 0

; output files are appended to and created when missing
[call/output "echo x" %log.txt call/output "echo y" %log.txt read %log.txt] "x^/y^/"
[call/input/output "cat" %log.txt o: copy "" o] "x^/y^/"
[call/input "cat" %missing.txt] -1

; without /wait or a redirection the pid comes back at once
[pid: call "sleep 5" all [integer? pid pid > 0]] true
CASES

if ! "$run" --cases cases.nuv; then failed=1; fi
exit $failed
