#!/usr/bin/env bash
# Every stressed copy carries the label stress, so that `-LE stress` leaves them all out.
# Usage: labels.sh CTEST BUILD-DIR
set -u
listed=$("$1" --test-dir "$2" -N -LE stress) || exit 1
stressed=$(grep -E '#[0-9]+: (eager-)?stress\.' <<<"$listed")
if [[ -n $stressed ]]; then
    echo "stressed copies without the label stress:"
    head -20 <<<"$stressed"
    exit 1
fi
grep -q '#[0-9]*: lang\.' <<<"$listed" || { echo "no test listed:"; echo "$listed"; exit 1; }
