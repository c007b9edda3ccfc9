#!/usr/bin/env bash
# Under a limit on the address space, operations whose C++ working memory is sized by the
# program's data (the lexer's text buffer, a sort's record copies) report internal no-memory
# like any error and leave the runner's status at 1: the process never aborts.
set -u
run=$1
failed=0
limit=1500000  # KiB: the runtime's own reservations fit, the working memory below does not

limited() { (ulimit -v "$limit" && exec "$run" "$@"); }

if [[ "$(limited -e 'print 1' 2>/dev/null)" != 1 ]]; then
    echo "the runner does not start under a $limit KiB address-space limit here; nothing checked"
    exit 0
fi

script=$(mktemp)
trap 'rm -f "$script"' EXIT

# expect_no_memory NAME WANTED-WHERE: the script's output after its first line is the report.
expect_no_memory() {
    local name=$1 where=$2 got rc
    got=$(limited "$script" 2>&1)
    rc=$?
    local wanted
    wanted=$'*** Internal Error: not enough memory\n*** Where: '"$where"
    if [[ $rc -ne 1 || "$(printf '%s\n' "$got" | sed -n 2,3p)" != "$wanted" ]]; then
        printf 'FAIL %s (status %s):\n%s\n' "$name" "$rc" "$got"
        failed=1
    fi
}

printf 's: append/dup copy "" "ab " 80000000\nprint length? s\ntranscode s\n' >"$script"
expect_no_memory transcode transcode
printf 's: append/dup copy "" "ab" 50000000\nprint length? s\nsort/compare s func [a b] [a < b]\n' >"$script"
expect_no_memory sort-compare sort

exit $failed
