#!/usr/bin/env bash
# The runner as people and scripts meet it: what -e and a script file print, the report of an
# error that reaches the top, and the exit status.
set -u
run=$1
failed=0
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# Runs the runner on the arguments: standard output in $out, standard error in $err, the status
# in $rc.
capture() {
    out=$("$run" "$@" 2>"$scratch/err")
    rc=$?
    err=$(<"$scratch/err")
}

# check NAME STATUS OUT ERR: the captured run against what is wanted.
check() {
    if [[ "$out" != "$3" || "$err" != "$4" || $rc -ne $2 ]]; then
        printf 'FAIL %s\n  wanted (status %s):\n%s\n  stderr:\n%s\n  got (status %s):\n%s\n  stderr:\n%s\n' \
            "$1" "$2" "$3" "$4" "$rc" "$out" "$err"
        failed=1
    fi
}

# expect NAME STATUS STREAM WANTED -- ARGS...: the whole of the stream (stdout or stderr), the
# other one empty, and the status.
expect() {
    local name=$1 status=$2 stream=$3 wanted=$4
    shift 5
    capture "$@"
    if [[ $stream == stdout ]]; then check "$name" "$status" "$wanted" ''
    else check "$name" "$status" '' "$wanted"; fi
}

# expect_both NAME STATUS OUT ERR -- ARGS...: both streams whole, and the status.
expect_both() {
    local name=$1 status=$2 wanted_out=$3 wanted_err=$4
    shift 5
    capture "$@"
    check "$name" "$status" "$wanted_out" "$wanted_err"
}

# expect_start NAME STATUS STREAM WANTED -- ARGS...: the first lines of the stream, the other
# one empty.
expect_start() {
    local name=$1 status=$2 stream=$3 wanted=$4
    shift 5
    capture "$@"
    local lines
    lines=$(printf '%s\n' "$wanted" | wc -l)
    if [[ $stream == stdout ]]; then out=$(printf '%s\n' "$out" | head -n "$lines")
    else err=$(printf '%s\n' "$err" | head -n "$lines"); fi
    if [[ $stream == stdout ]]; then check "$name" "$status" "$wanted" ''
    else check "$name" "$status" '' "$wanted"; fi
}

expect print 0 stdout $'42\nab' -- -e 'x: 42 print x prin "a" print "b"'
expect refinements 0 stdout '9 -3 3 6' -- \
    -e 'f: func [a /twice] [either twice [a * 2] [a]] print [1 + 2 * 3 negate 1 + 2 f 3 f/twice 3]'
expect try-all-break 0 stdout 3 -- -e 'n: 0 loop 3 [n: n + 1 try/all [break]] print n'
expect catch-name 0 stdout 2 -- -e "print catch [catch/name [throw/name 2 'a] 'b]"
expect error-id 0 stdout zero-divide -- -e 'e: try [1 / 0] print e/id'
expect mold-func 0 stdout 'func [x][x + 1]' -- -e 'f: func [x] [x + 1] print mold :f'
expect_start top-error 1 stderr '*** Math Error: attempt to divide by zero' -- -e '1 / 0'
# An error the user's catalogue cannot make is reported from the runtime's own error list.
expect no-catalogue-entry 1 stderr '*** Math Error: attempt to divide by zero' -- \
    -e 'system/catalog/errors: make object! [] 1 / 0'
expect_start overflow 1 stderr '*** Internal Error: stack overflow' -- -e 'f: func [n] [f n + 1] f 1'
# The Stack line of a deep recursion is cut to 1,000 characters, ending in "..."; a short one is whole.
stack_line() { "$run" "$@" 2>&1 >/dev/null | grep '^\*\*\* Stack: '; }
line=$(stack_line -e 'f: func [n] [f n + 1] f 1')
[[ ${#line} -eq 1000 && $line == '*** Stack: f f f '*'f ...' ]] ||
    { printf 'FAIL overflow-stack-line: %s characters: %s\n' "${#line}" "${line: -40}"; failed=1; }
line=$(stack_line -e 'g: func [] [1 / 0] f: func [] [g] f')
[[ $line == '*** Stack: f g' ]] || { printf 'FAIL short-stack-line: %s\n' "$line"; failed=1; }
# An error raised by code that already ran (a function's third call, a loop body's third run) is
# reported as on a first run: the output before it, then the whole report.
expect_both loop-call-error 1 $'1\n2' $'*** Math Error: attempt to divide by zero\n*** Where: /\n*** Near : n / 0\n*** Stack: f g' -- \
    -e 'g: func [n] [either n < 3 [n] [n / 0]] f: func [n] [loop 1 [g n]] repeat i 3 [print f i]'
expect_both loop-call-error-level-2 1 $'1\n2' $'*** Math Error: attempt to divide by zero\n*** Where: /\n*** Near : n / 0\n*** Stack: repeat print f loop g either /' -- \
    -e 'system/state/stack-trace: 2 g: func [n] [either n < 3 [n] [n / 0]] f: func [n] [loop 1 [g n]] repeat i 3 [print f i]'
expect_both loop-no-value 1 $'11\n12' $'*** Script Error: w has no value\n*** Where: f\n*** Near : w + n\n*** Stack: f' -- \
    -e "f: func [n] [if n = 3 [unset 'w] w + n] w: 10 repeat i 3 [print f i]"
expect_both loop-expect-arg 1 $'2\n2' $'*** Script Error: append does not allow integer! for its series argument\n*** Where: append\n*** Near : s: append s 1\n*** Stack: f' -- \
    -e 'f: func [s] [loop 2 [s: append s 1] length? s] foreach v reduce [copy [] copy [] 5] [print f v]'
expect_start error-form 0 stdout $'*** Math Error: attempt to divide by zero\n*** Where: ???' -- \
    -e 'print form make error! 400'
expect remove-each 0 stdout '[1 3]' -- -e 'print mold remove-each x [1 2 3 4] [even? x]'
expect compose 0 stdout '[2]' -- -e 'print mold compose [(1 + 1) ()]'
expect set-block 0 stdout none -- -e 'set [a b] [1] print mold b'
expect do-next 0 stdout 3 -- -e "print mold do/next [1 + 2 3] 'pos"
expect same-equal 0 stdout 'false true false' -- -e 'print [same? "a" "a" equal? 1 1.0 "a" == "A"]'
expect max-min-shift 0 stdout '3 1 -4' -- -e 'print [max 1 3 min 1 3 shift -8 1]'
expect to-hex 0 stdout '#000000FF' -- -e 'print mold to-hex 255'
expect construct 0 stdout $'make object! [\n    a: 1\n    b: 1\n]' -- -e 'print mold construct [a: b: 1]'
expect nothing 0 stdout '' -- -e ''
expect_start unlexable 1 stderr '*** Syntax Error: (line 1) missing [ at ]' -- -e 'print 1 ]'

# What start-up makes, and quit-return.
expect colours 0 stdout '255.240.120 0.0.0.255 true' -- -e 'print [yello transparent glass = transparent]'
expect options 0 stdout 'Linux 16 15 2' -- -e \
    'print [system/platform system/options/binary-base system/options/decimal-digits system/options/money-digits]'
expect version 0 stdout tuple -- -e 'print type? system/version'
expect exit-states 0 stdout 34 -- -e 'print length? system/lexer/exit-states'
expect catalogue 0 stdout 'attempt to divide by zero' -- -e 'print system/catalog/errors/math/zero-divide'
expect words 0 stdout true -- -e "print same? context? 'print system/words"
expect collector 0 stdout true -- -e \
    'n: system/state/GC/series-cycles recycle print system/state/GC/series-cycles > n'
expect quit-return 3 stdout 1 -- -e 'print 1 quit-return 3 print 2'
# Output not ended by a line end is written before the process ends.
expect quit-return-flush 0 stdout abc -- -e 'prin "abc" quit-return 0'
# quit ends the process with status 0, quit/return with its status; halt is quit.
expect quit 0 stdout 1 -- -e 'print 1 quit print 2'
expect quit-status 3 stdout 1 -- -e 'print 1 quit/return 3 print 2'
expect halt 0 stdout 1 -- -e 'print 1 halt print 2'
expect last-lf 0 stdout afalse -- -e 'prin "a" print last-lf?'

# A script file: its header is skipped and its output is what it prints.
script=$scratch/script.nuv
printf 'Nuv [Title: "t"]\nprint 1 + 1\n' >"$script"
expect script 0 stdout 2 -- "$script"
printf '\xEF\xBB\xBFNuv [Title: "t"]\nprint 1 + 1\n' >"$script"
expect byte-order-mark 0 stdout 2 -- "$script"
printf '\xEF\xBB\xBFprint "a"\n' >"$script"
expect byte-order-mark-bare 0 stdout a -- "$script"
# Text that does not lex is reported at its file and line; control characters show escaped.
printf 'print 1\nprint [2\n' >"$script"
expect script-syntax 1 stderr $'*** Syntax Error: (line 3) missing ] at [2\n*** Where: '"$script"$' (line 3)\n*** Near : "[2"' -- "$script"
printf 'print 1\nprint "a\0b" ]\n' >"$script"
expect script-nul 1 stderr $'*** Syntax Error: (line 2) invalid string at "a^@b" ]\n*** Where: '"$script"$' (line 2)\n*** Near : {"a^@b" ]}' -- "$script"
expect inline-syntax 1 stderr $'*** Syntax Error: (line 1) missing [ at ] ^A\n*** Where: -e (line 1)\n*** Near : "] ^A"' -- -e $'print 1 ] \x01'
printf 'print "before"\nundefined-word\nprint "after"\n' >"$script"
expect_both script-error 1 before \
    $'*** Script Error: undefined-word has no value\n*** Where: <not-found>\n*** Near : undefined-word print "after"' -- "$script"
# A first line starting with "#!" is skipped; the lines keep their numbers.
printf '#!/usr/bin/env nuv-run\nprint 1 + 1\n' >"$script"
expect shebang 0 stdout 2 -- "$script"
printf '#!/usr/bin/env nuv-run\nprint 1\nprint [2\n' >"$script"
expect shebang-lines 1 stderr $'*** Syntax Error: (line 4) missing ] at [2\n*** Where: '"$script"$' (line 4)\n*** Near : "[2"' -- "$script"

# The words after the runner's path keep their boundaries in system/options/args, the script
# first; system/script/args holds them as the command line writes them. A byte that is not UTF-8
# reads as U+FFFD, in them and in the command line.
printf 'print mold system/options/args print mold system/script/args print mold back tail get-command-line\n' >"$script"
expect script-args 0 stdout "[\"$script\" \"x\" \"y z\" \"\" \"3\" \"a^-b\" \"c^/d\" \"a"$'\xEF\xBF\xBD'"\"]
{$script x \"y z\" \"\" 3 \"a^-b\" \"c^/d\" a"$'\xEF\xBF\xBD'"}
\""$'\xEF\xBF\xBD'"\"" -- \
    "$script" x "y z" '' 3 $'a\tb' $'c\nd' $'a\xFF'
expect inline-args 0 stdout '["-e" "print mold system/options/args"]' -- -e 'print mold system/options/args'
expect inline-args-empty 0 stdout '["-e" "print mold system/options/args" ""]' -- -e 'print mold system/options/args' ''
expect boot-path 0 stdout "\"$run\"" -- -e 'print mold system/options/boot'

# What cannot be read, and what the runner says of itself.
expect missing-file 2 stderr 'nuv-run: cannot read /nonexistent/file' -- /nonexistent/file
expect directory 2 stderr "nuv-run: cannot read $scratch" -- "$scratch"
expect help 0 stdout 'usage: nuv-run FILE [args] | nuv-run -e TEXT | nuv-run --cases FILE | nuv-run --help | nuv-run --version' -- --help
expect version-option 0 stdout 'nuv-run 0.1.0' -- --version

# The frame an uncaught throw names is the throw's; an error raised where no frame is named
# names none (script-error above).
expect throw-where 1 stderr $'*** Throw Error: no catch for throw: 5\n*** Where: throw\n*** Near : throw 5' -- -e 'throw 5'

# A report whose forming raises keeps the lines formed; the line cut short ends in "...".
expect report-raises 1 stderr $'*** Script Error: invalid system/locale/month list\n*** Where: form\n*** Near : print form ...' -- \
    -e 'system/locale/months: [1] print form 1-Jan-2000'
expect report-of-mold-raises 1 stderr $'*** Script Error: invalid system/locale/month list\n*** Where: mold\n*** Near : print mold try [form ...' -- \
    -e 'system/locale/months: [1] print mold try [form 1-Jan-2000]'
# A case whose value cannot be molded fails with the error's id, and the table goes on.
printf 'Nuv []\n[system/locale/months: [1] 1-Jan-2000] 2-Jan-2000\n[1 + 1] 3\n' >"$script"
expect cases-mold-raises 1 stdout "FAIL $script: [system/locale/months: [1] 1-Jan-2000]
  wanted: 2-Jan-2000
     got: error invalid-months
FAIL $script: [1 + 1]
  wanted: 3
     got: 2
$script: 2 cases, 2 failed" -- --cases "$script"

# A write to standard output that fails ends the process with status 1, whatever catches errors:
# with the system's reason on a full device, silently on a closed pipe.
full() {
    out=''
    "$run" "$@" >/dev/full 2>"$scratch/err"
    rc=$?
    err=$(<"$scratch/err")
}
no_space='nuv-run: cannot write standard output: No space left on device'
full -e 'print "y"'
check full-at-exit 1 '' "$no_space"
full -e 'print "y" quit-return 0'
check full-at-quit 1 '' "$no_space"
full -e 'try [prin head insert/dup "" "y" 100000] print "after"'
check full-while-running 1 '' "$no_space"
timeout 60 "$run" -e 'forever [print "x"]' 2>"$scratch/err" | head -1 >/dev/null
rc=${PIPESTATUS[0]}
out=''
err=$(<"$scratch/err")
check closed-pipe 1 '' ''

exit $failed
