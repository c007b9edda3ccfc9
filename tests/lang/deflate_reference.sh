#!/usr/bin/env bash
# compress and decompress against Python's zlib and gzip modules and the gzip program
# (deflate_reference.py); nothing is checked where python3 is absent.
set -u
if ! command -v python3 >/dev/null; then
    echo "python3 is absent here; nothing checked"
    exit 0
fi
exec python3 "$(dirname "$0")/deflate_reference.py" "$1"
