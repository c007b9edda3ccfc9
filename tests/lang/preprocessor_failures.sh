#!/usr/bin/env bash
# A failed expansion with no console: the preprocessor's lines on standard output, nothing on
# standard error, and the process ends there with status 1 (the code after it never runs).
# With a console the same lines come before the console takes over: tests/lang/preprocessor.nuv.
source "$(dirname "$0")/scratch_dir.bash"

# fails NAME WANTED CODE: the first lines of standard output are WANTED, whole lines.
fails() {
    local name=$1 wanted=$2 code=$3 out rc
    out=$("$run" -e "$code print {went on}" 2>stderr.txt)
    rc=$?
    local lines
    lines=$(printf '%s\n' "$wanted" | wc -l)
    out=$(printf '%s\n' "$out" | head -n "$lines")
    if [[ $out != "$wanted" || $rc -ne 1 || -s stderr.txt ]]; then
        printf 'FAIL %s\n  wanted (status 1):\n%s\n  got (status %s):\n%s\n  stderr:\n%s\n' \
            "$name" "$wanted" "$rc" "$out" "$(<stderr.txt)"
        failed=1
    fi
}

fails syntax $'*** Preprocessor Error: Syntax error\n*** Where: #trace maybe' \
    'expand-directives [#trace maybe]'
fails do-expand $'*** Preprocessor Error: Syntax error\n*** Where: #if 1' 'do/expand [#if 1]'
fails directive-error $'*** Preprocessor Error in #if\n*** Math Error: attempt to divide by zero\n*** Where: ???\n*** Near : 1 / 0' \
    'expand-directives [#if 1 / 0 [x]]'
fails invalid-spec $'*** Macro Error: invalid definition\n*** Where: m: func [/x]' \
    'expand-directives [#macro m: func [/x] [1]]'

exit "$failed"
