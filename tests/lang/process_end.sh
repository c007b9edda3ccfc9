#!/usr/bin/env bash
# Start-up and the end of the process as a program meets them: the cache and current-directory
# settings, which depend on the environment it starts in, and the runtime error a fatal signal
# turns into (its two lines on standard error and its status).
set -u
run=$1
failed=0

fail() {
    printf 'FAIL %s\n  wanted (status %s):\n%s\n  got (status %s):\n%s\n' "$1" "$2" "$3" "$4" "$5"
    failed=1
}

# The cache folder: under HOME, or /tmp without it.
got=$(HOME=/tmp/h "$run" -e 'print mold system/options/cache')
[[ $got == '%/tmp/h/.nuv/' ]] || fail cache-home 0 '%/tmp/h/.nuv/' "$?" "$got"
got=$(env -u HOME "$run" -e 'print mold system/options/cache')
[[ $got == '%/tmp/.nuv/' ]] || fail cache-no-home 0 '%/tmp/.nuv/' "$?" "$got"

# The current directory at start-up, and changing it.
got=$(cd /tmp && "$run" -e 'print mold reduce [system/options/path get-current-dir]')
[[ $got == '[%/tmp/ %/tmp/]' ]] || fail path-at-start 0 '[%/tmp/ %/tmp/]' "$?" "$got"
got=$(cd /tmp && "$run" -e 'set-current-dir %/ print mold get-current-dir')
[[ $got == '%/' ]] || fail set-current-dir 0 '%/' "$?" "$got"

# A fatal signal: "*** Runtime Error N: text" and "*** at: " with 16 hexadecimal digits and an
# "h" on standard error, first, and the status N.
signal_case() {
    local name=$1 signal=$2 status=$3 line=$4
    local err pid rc
    err=$(mktemp)
    "$run" -e 'forever []' 2>"$err" &
    pid=$!
    # The signal goes once the process has taken all four (SEGV, BUS, ILL, FPE: mask 4c8h),
    # however long its start-up takes.
    local caught i
    for ((i = 0; i < 600; i++)); do
        caught=$(awk '$1 == "SigCgt:" {print $2}' "/proc/$pid/status" 2>/dev/null)
        [[ -n $caught ]] && (((16#$caught & 0x4c8) == 0x4c8)) && break
        sleep 0.05
    done
    kill "-$signal" "$pid"
    wait "$pid"
    rc=$?
    local first second
    first=$(sed -n 1p "$err")
    second=$(sed -n 2p "$err")
    rm -f "$err"
    if [[ $rc -ne $status || $first != "$line" || ! $second =~ ^\*\*\*\ at:\ [0-9A-F]{16}h$ ]]; then
        fail "$name" "$status" "$line" "$rc" "$first / $second"
    fi
}
signal_case sigsegv SEGV 32 '*** Runtime Error 32: segmentation fault'
signal_case sigbus BUS 34 '*** Runtime Error 34: Bus error'
signal_case sigill ILL 17 '*** Runtime Error 17: illegal instruction'
signal_case sigfpe FPE 33 '*** Runtime Error 33: FPU error'

exit $failed
