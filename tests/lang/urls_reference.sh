#!/usr/bin/env bash
# decode-url against Python's urlsplit and unquote over generated URLs (urls_reference.py);
# nothing is checked where python3 is absent, nor while the library lacks split-path, which
# decode-url splits the path with.
set -u
if ! command -v python3 >/dev/null; then
    echo "python3 is absent here; nothing checked"
    exit 0
fi
exec python3 "$(dirname "$0")/urls_reference.py" "$1"
