#!/usr/bin/env bash
# browse hands its target to the xdg-open first on PATH without waiting for it and answers
# unset!; here a stub opener records each argument with the process it ran under.
set -u
run=$1
failed=0
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/stub" "$work/skipped" "$work/none"
log=$work/log
# A plain file of the name that cannot be run is passed over.
printf 'not a program\n' > "$work/skipped/xdg-open"
cat > "$work/stub/xdg-open" <<STUB
#!/bin/sh
printf '%s %s\n' "\$1" "\$PPID" >> "$log"
STUB
chmod +x "$work/stub/xdg-open"
stub_path=$work/skipped:$work/stub

fail() {
    printf 'FAIL %s\n' "$*"
    failed=1
}

# wait_for_lines N [PID]: the log holds N lines within ten seconds (the opener runs on its own),
# or, given the runner's PID, while the runner lives, however long its start-up takes.
wait_for_lines() {
    local tries=0
    until [[ $(lines) -ge $1 ]]; do
        if [[ $# -gt 1 ]]; then
            kill -0 "$2" 2>/dev/null || { [[ $(lines) -ge $1 ]]; return; }
        elif ((++tries > 100)); then
            return 1
        fi
        sleep 0.1
    done
}

# lines: the log's line count.
lines() { if [[ -f $log ]]; then wc -l < "$log"; else echo 0; fi; }

# browse TARGET-TEXT WANTED-ARGUMENT: the argument the opener got, and that the opener is no
# child of the runner's, which keeps running: within ten seconds it has no child left, running
# or dead.
browse() {
    local before pid children
    before=$(lines)
    PATH=$stub_path "$run" -e "browse $1 wait 60" &
    pid=$!
    wait_for_lines $((before + 1)) "$pid" || fail "browse $1: the opener never ran"
    for _ in $(seq 100); do
        children=$(grep -ls "^PPid:[[:space:]]*$pid\$" /proc/[0-9]*/status)
        [[ -z $children ]] && break
        sleep 0.1
    done
    [[ -z $children ]] || fail "browse $1: the runner still has children: $children"
    kill "$pid"
    wait "$pid" 2>/dev/null
    local line
    line=$(sed -n "$((before + 1))p" "$log")
    [[ ${line% *} == "$2" ]] || fail "browse $1: the opener got '${line% *}', wanted '$2'"
    [[ ${line##* } != "$pid" ]] || fail "browse $1: the opener ran as the runner's child"
}

browse 'http://example.com/a?b=c&d' 'http://example.com/a?b=c&d'
browse '%docs/read%20me.txt' 'docs/read me.txt'
browse '%/tmp/x.html' '/tmp/x.html'
browse '%-v' './-v'

# The answer is unset!, with an opener or without one, and nothing else is said.
before=$(lines)
got=$(PATH=$stub_path "$run" -e 'print mold type? browse http://example.com/b')
[[ $got == "unset!" ]] || fail "with an opener: got '$got'"
wait_for_lines $((before + 1)) || fail "with an opener: the opener never ran"
got=$(PATH=$work/none "$run" -e 'print mold type? browse http://example.com')
[[ $got == "unset!" ]] || fail "no opener: got '$got'"
got=$(PATH=$work/none "$run" -e 'browse 1' 2>&1 >/dev/null)
[[ $got == *"expect-arg"* || $got == *"does not allow integer!"* ]] || fail "browse 1: got '$got'"

exit $failed
