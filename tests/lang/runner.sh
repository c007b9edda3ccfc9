#!/usr/bin/env bash
# The runner as people and scripts meet it: what -e and a script file print, the report of an
# error that reaches the top, and the exit status.
set -u
run=$1
failed=0

# expect NAME STATUS WANTED -- ARGS...: the whole standard output and the status.
expect() {
    local name=$1 status=$2 wanted=$3
    shift 4
    local got rc
    got=$("$run" "$@")
    rc=$?
    if [[ "$got" != "$wanted" || $rc -ne $status ]]; then
        printf 'FAIL %s\n  wanted (status %s):\n%s\n  got (status %s):\n%s\n' \
            "$name" "$status" "$wanted" "$rc" "$got"
        failed=1
    fi
}

# expect_start NAME STATUS WANTED -- ARGS...: the first lines of standard output.
expect_start() {
    local name=$1 status=$2 wanted=$3
    shift 4
    local got rc lines
    got=$("$run" "$@")
    rc=$?
    lines=$(printf '%s\n' "$wanted" | wc -l)
    if [[ "$(printf '%s\n' "$got" | head -n "$lines")" != "$wanted" || $rc -ne $status ]]; then
        printf 'FAIL %s\n  wanted (status %s) first lines:\n%s\n  got (status %s):\n%s\n' \
            "$name" "$status" "$wanted" "$rc" "$got"
        failed=1
    fi
}

expect print 0 $'42\nab' -- -e 'x: 42 print x prin "a" print "b"'
expect refinements 0 '9 -3 3 6' -- \
    -e 'f: func [a /twice] [either twice [a * 2] [a]] print [1 + 2 * 3 negate 1 + 2 f 3 f/twice 3]'
expect try-all-break 0 3 -- -e 'n: 0 loop 3 [n: n + 1 try/all [break]] print n'
expect catch-name 0 2 -- -e "print catch [catch/name [throw/name 2 'a] 'b]"
expect error-id 0 zero-divide -- -e 'e: try [1 / 0] print e/id'
expect mold-func 0 'func [x][x + 1]' -- -e 'f: func [x] [x + 1] print mold :f'
expect_start top-error 1 '*** Math Error: attempt to divide by zero' -- -e '1 / 0'
# An error the user's catalogue cannot make is reported from the runtime's own error list.
expect no-catalogue-entry 1 '*** Math Error: attempt to divide by zero' -- \
    -e 'system/catalog/errors: make object! [] 1 / 0'
expect_start overflow 1 '*** Internal Error: stack overflow' -- -e 'f: func [n] [f n + 1] f 1'
# The Stack line of a deep recursion is cut to 1,000 characters, ending in "..."; a short one is whole.
stack_line() { "$run" "$@" | grep '^\*\*\* Stack: '; }
line=$(stack_line -e 'f: func [n] [f n + 1] f 1')
[[ ${#line} -eq 1000 && $line == '*** Stack: f f f '*'f ...' ]] ||
    { printf 'FAIL overflow-stack-line: %s characters: %s\n' "${#line}" "${line: -40}"; failed=1; }
line=$(stack_line -e 'g: func [] [1 / 0] f: func [] [g] f')
[[ $line == '*** Stack: f g' ]] || { printf 'FAIL short-stack-line: %s\n' "$line"; failed=1; }
# An error raised by code that already ran (a function's third call, a loop body's third run) is
# reported as on a first run: the output before it, then the whole report.
expect loop-call-error 1 $'1\n2\n*** Math Error: attempt to divide by zero\n*** Where: /\n*** Near : n / 0\n*** Stack: f g' -- \
    -e 'g: func [n] [either n < 3 [n] [n / 0]] f: func [n] [loop 1 [g n]] repeat i 3 [print f i]'
expect loop-call-error-level-2 1 $'1\n2\n*** Math Error: attempt to divide by zero\n*** Where: /\n*** Near : n / 0\n*** Stack: repeat print f loop g either /' -- \
    -e 'system/state/stack-trace: 2 g: func [n] [either n < 3 [n] [n / 0]] f: func [n] [loop 1 [g n]] repeat i 3 [print f i]'
expect loop-no-value 1 $'11\n12\n*** Script Error: w has no value\n*** Where: f\n*** Near : w + n\n*** Stack: f' -- \
    -e "f: func [n] [if n = 3 [unset 'w] w + n] w: 10 repeat i 3 [print f i]"
expect loop-expect-arg 1 $'2\n2\n*** Script Error: append does not allow integer! for its series argument\n*** Where: append\n*** Near : s: append s 1\n*** Stack: f' -- \
    -e 'f: func [s] [loop 2 [s: append s 1] length? s] foreach v reduce [copy [] copy [] 5] [print f v]'
expect_start error-form 0 $'*** Math Error: attempt to divide by zero\n*** Where: ???' -- \
    -e 'print form make error! 400'
expect remove-each 0 '[1 3]' -- -e 'print mold remove-each x [1 2 3 4] [even? x]'
expect compose 0 '[2]' -- -e 'print mold compose [(1 + 1) ()]'
expect set-block 0 none -- -e 'set [a b] [1] print mold b'
expect do-next 0 3 -- -e "print mold do/next [1 + 2 3] 'pos"
expect same-equal 0 'false true false' -- -e 'print [same? "a" "a" equal? 1 1.0 "a" == "A"]'
expect max-min-shift 0 '3 1 -4' -- -e 'print [max 1 3 min 1 3 shift -8 1]'
expect to-hex 0 '#000000FF' -- -e 'print mold to-hex 255'
expect construct 0 $'make object! [\n    a: 1\n    b: 1\n]' -- -e 'print mold construct [a: b: 1]'
expect nothing 0 '' -- -e ''
expect_start unlexable 1 '*** Syntax Error: (line 1) missing [ at ]' -- -e 'print 1 ]'

# What start-up makes, and quit-return.
expect colours 0 '255.240.120 0.0.0.255 true' -- -e 'print [yello transparent glass = transparent]'
expect options 0 'Linux 16 15 2' -- -e \
    'print [system/platform system/options/binary-base system/options/decimal-digits system/options/money-digits]'
expect version 0 tuple -- -e 'print type? system/version'
expect exit-states 0 34 -- -e 'print length? system/lexer/exit-states'
expect catalogue 0 'attempt to divide by zero' -- -e 'print system/catalog/errors/math/zero-divide'
expect words 0 true -- -e "print same? context? 'print system/words"
expect collector 0 true -- -e \
    'n: system/state/GC/series-cycles recycle print system/state/GC/series-cycles > n'
expect quit-return 3 1 -- -e 'print 1 quit-return 3 print 2'
# Output not ended by a line end is written before the process ends.
expect quit-return-flush 0 abc -- -e 'prin "abc" quit-return 0'
# quit ends the process with status 0, quit/return with its status; halt is quit.
expect quit 0 1 -- -e 'print 1 quit print 2'
expect quit-status 3 1 -- -e 'print 1 quit/return 3 print 2'
expect halt 0 1 -- -e 'print 1 halt print 2'
expect last-lf 0 afalse -- -e 'prin "a" print last-lf?'

# A script file: its header is skipped and its output is what it prints.
script=$(mktemp)
trap 'rm -f "$script"' EXIT
printf 'Nuv [Title: "t"]\nprint 1 + 1\n' >"$script"
expect script 0 2 -- "$script"
printf '\xEF\xBB\xBFNuv [Title: "t"]\nprint 1 + 1\n' >"$script"
expect byte-order-mark 0 2 -- "$script"
printf '\xEF\xBB\xBFprint "a"\n' >"$script"
expect byte-order-mark-bare 0 a -- "$script"
# Text that does not lex is reported at its file and line; control characters show escaped.
printf 'print 1\nprint [2\n' >"$script"
expect script-syntax 1 $'*** Syntax Error: (line 3) missing ] at [2\n*** Where: '"$script"$' (line 3)\n*** Near : "[2"' -- "$script"
printf 'print 1\nprint "a\0b" ]\n' >"$script"
expect script-nul 1 $'*** Syntax Error: (line 2) invalid string at "a^@b" ]\n*** Where: '"$script"$' (line 2)\n*** Near : {"a^@b" ]}' -- "$script"
expect inline-syntax 1 $'*** Syntax Error: (line 1) missing [ at ] ^A\n*** Where: -e (line 1)\n*** Near : "] ^A"' -- -e $'print 1 ] \x01'
printf 'print "before"\nundefined-word\nprint "after"\n' >"$script"
expect_start script-error 1 $'before\n*** Script Error: undefined-word has no value' -- "$script"

"$run" /nonexistent/file >/dev/null 2>&1
[[ $? -eq 2 ]] || { echo "FAIL missing file: status should be 2"; failed=1; }

exit $failed
