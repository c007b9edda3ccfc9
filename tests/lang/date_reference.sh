#!/usr/bin/env bash
# Random dates through date! arithmetic, fields and comparison, checked against Python's
# datetime module (date_reference.py); nothing is checked where python3 is absent.
set -u
if ! command -v python3 >/dev/null; then
    echo "python3 is absent here; nothing checked"
    exit 0
fi
exec python3 "$(dirname "$0")/date_reference.py" "$1"
