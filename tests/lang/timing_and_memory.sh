#!/usr/bin/env bash
# What clock and stats/show print, whose figures change from run to run: the shape of each line
# is checked, never a time or a size.
set -u
run=$1
failed=0

fail() {
    printf 'FAIL %s\n  wanted: %s\n     got: %s\n' "$1" "$2" "$3"
    failed=1
}

# clock: the time shortened to three digits (or its whole integer part), its unit and a TAB, then
# the code molded flat; the code runs once for a count below 1.
number='([0-9]\.[0-9]{1,2}|[0-9]{2}\.[0-9]|[0-9]{1,3}|[0-9]{4,})'
got=$("$run" -e 'n: 0 clock/times [n: n + 1] 0 print n')
[[ $got =~ ^$number\ (ms|μs)$'\t'\[n:\ n\ \+\ 1\]$'\n'1$ ]] ||
    fail clock-once "a number, ms or μs, a TAB, [n: n + 1] and 1" "$got"
got=$("$run" -e 'clock/times [wait 0.002] 2')
[[ $got =~ ^$number\ ms$'\t'\[wait\ 0.002\]$ ]] || fail clock-ms "a number, ms, a TAB and the code" "$got"
# A label longer than 70 characters is cut there; a multi-line block is molded on one line.
got=$("$run" -e 'clock [
    comment "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa"
]')
label=${got#*$'\t'}
[[ $label == "[comment {$(printf 'a%.0s' {1..60})" ]] ||
    fail clock-label "the first 70 characters of the molded code" "$label"
# An error in the code goes on and nothing is printed for it: the report alone, on standard error.
out=$("$run" -e 'clock [1 / 0]' 2>/dev/null)
got=$("$run" -e 'clock [1 / 0]' 2>&1)
[[ -z $out && $got == '*** Math Error: attempt to divide by zero'* && $got != *$'\t'* ]] ||
    fail clock-error "the error's report alone" "$got"

# stats/show: the node, series and big sections with one line per frame of stats/info, then the
# totals (a large binary makes a big frame); a user's show-memory-stats is not the one it calls.
got=$("$run" -e 'b: make binary! 4000000 i: stats/info print [length? i/1 length? i/2 length? i/3] show-memory-stats: does [print "mine"] stats/show')
read -r nodes series big <<<"$(head -n 1 <<<"$got")"
shape=$(tail -n +2 <<<"$got" | sed -E \
    -e 's/^  [0-9]+: +[0-9]+ +[0-9]+ +[0-9]+$/FRAME/' -e 's/^  [0-9]+: +[0-9]+$/BIG/' \
    -e 's/^(  Used     :|  Allocated:)  [0-9]+ (nodes|bytes) ?$/\1 \2/' \
    -e 's/^(Total allocated [^:]*:) +[0-9]+ ?$/\1/')
frames() { local n=$1 line=$2; if ((n == 0)); then echo "$3"; else for ((k = 0; k < n; k++)); do echo "$line"; done; fi; }
wanted=$(
    echo
    echo '[ Nodes  ] -- Free ----- Used ----- Total --'
    frames "$nodes" FRAME '               -          -           -'
    printf '  -- \n  Used     : nodes\n  Allocated: nodes\n\n'
    echo '[ Series ] -- Free ----- Used ----- Total --'
    frames "$series" FRAME '               -          -           -'
    printf '  -- \n  Used     : bytes\n  Allocated: bytes\n\n'
    echo '[ Big    ]'
    ((big > 0)) && frames "$big" BIG ''
    printf '  -- \n  Allocated: bytes\n-- \nTotal allocated from OS (virtual):\nTotal allocated on heap (malloc):\n'
)
[[ $nodes -ge 1 && $series -ge 1 && $big -ge 1 && $shape == "$wanted" ]] ||
    fail stats-show "$(printf '%s frames, %s frames, %s big:\n%s' "$nodes" "$series" "$big" "$wanted")" "$shape"

exit $failed
