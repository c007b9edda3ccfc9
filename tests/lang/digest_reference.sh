#!/usr/bin/env bash
# checksum against Python's zlib, hashlib and hmac over random data (digest_reference.py);
# nothing is checked where python3 is absent.
set -u
if ! command -v python3 >/dev/null; then
    echo "python3 is absent here; nothing checked"
    exit 0
fi
exec python3 "$(dirname "$0")/digest_reference.py" "$1"
