#!/usr/bin/env bash
# Under a limit on the address space, operations whose C++ working memory is sized by the
# program's data (the lexer's text buffer, a sort's record copies) report internal no-memory
# like any error and leave the runner's status at 1: the process never aborts.
set -u
run=$1
failed=0

# The limit: the address space the runner holds once started (its reservations, some 1.6 GB),
# measured here, and room for the rows' texts (at most some 250 MB with their copies), far below
# what the operations under test would need (several GB).
startup=$("$run" -e 'print read %/proc/self/status' 2>&1 | awk '$1 == "VmPeak:" {print $2}')
if [[ ! $startup =~ ^[0-9]+$ ]]; then
    echo "FAIL the runner's address space at start-up is not known: '$startup'"
    exit 1
fi
limit=$((startup + 850000))  # KiB

limited() { (ulimit -v "$limit" && exec "$run" "$@"); }

if [[ "$(limited -e 'print 1' 2>&1)" != 1 ]]; then
    echo "FAIL the runner does not start under a $limit KiB address-space limit"
    limited -e 'print 1' 2>&1
    exit 1
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

# With no limit: a pipe that gives one byte past the largest series is refused whole, never
# kept cut at the cap (its buffers round up, so the cap is met before a buffer is full).
got=$(head -c 2147483648 /dev/zero | "$run" -e 'print length? read/binary %/dev/stdin' 2>&1)
wanted=$'*** Internal Error: not enough memory\n*** Where: read'
if [[ "$(printf '%s\n' "$got" | sed -n 1,2p)" != "$wanted" ]]; then
    printf 'FAIL read/binary of a pipe past the largest series:\n%s\n' "$got"
    failed=1
fi

exit $failed
