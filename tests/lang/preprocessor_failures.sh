#!/usr/bin/env bash
# A failed expansion with no console: the preprocessor's lines on standard output, nothing on
# standard error, and the process ends there with status 1 (the code after it never runs).
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

syntax=$'*** Preprocessor Error: Syntax error\n*** Where:'
fails trace "$syntax #trace maybe" 'expand-directives [#trace maybe]'
fails if "$syntax #if true" 'expand-directives [#if true]'
fails either "$syntax #either 1 [a] 2" 'expand-directives [#either 1 [a] 2]'
fails switch "$syntax #switch 1 x" 'expand-directives [#switch 1 x]'
fails case "$syntax #case x" 'expand-directives [#case x]'
fails do "$syntax #do keep 5" 'expand-directives [#do keep 5]'
fails local "$syntax #local" 'expand-directives [#local]'
fails process "$syntax #process 1" 'expand-directives [#process 1]'
fails macro "$syntax #macro m: 1 [] []" 'expand-directives [#macro m: 1 [] []]'
fails do-expand "$syntax #if 1" 'do/expand [#if 1]'
fails directive-error $'*** Preprocessor Error in #if\n*** Math Error: attempt to divide by zero\n*** Where: ???\n*** Near : 1 / 0' \
    'expand-directives [#if 1 / 0 [x]]'
fails pattern-error $'*** Preprocessor Error in #macro\n*** Math Error: attempt to divide by zero' \
    'expand-directives [#macro integer! func [s e] [1 / 0] 1]'
fails invalid-spec $'*** Macro Error: invalid specification\n*** Where: m: func [/x]' \
    'expand-directives [#macro m: func [/x] [1]]'
fails pattern-arity $'*** Macro Error: invalid specification\n*** Where: integer! func [s]' \
    'expand-directives [#macro integer! func [s] [1]]'
fails empty-pattern $'*** Macro Error: invalid specification\n*** Where: [] func [s e]' \
    'expand-directives [#macro [] func [s e] [1]]'
fails refinement $'*** Macro Error: unknown refinement\n*** Where: append/bogus' \
    'expand-directives [#if append/bogus [] 1 [x]]'
fails no-value '*** Macro Error: no value returned by m macro' \
    'expand-directives [#macro m: func [] [] m]'
fails manual $'*** Macro Error: [manual] macro not returning a position\n*** Where: [func [[manual] s e][[9]] s e]' \
    'expand-directives [#macro integer! func [[manual] s e] [[9]] 1]'

exit "$failed"
