#!/usr/bin/env bash
# The fuzz build compiles the runtime, host/, the library, the GUI, the programs and the fuzz targets with clang while
# every other build uses GCC: clang must keep accepting each of those files, so that build never
# breaks unseen. Syntax and types only, with the fuzz build's sanitizers (which some code tests
# for), two files at a time.
# Usage: clang_syntax.sh CLANG++ SOURCE-ROOT INCLUDE-DIR...  (Cairo's, Pango's: headers only)
set -u
clang=$1
root=$2
shift 2
includes=()
for dir in "$@"; do
    includes+=("-I$dir")
done
cd "$root" || exit 1
folders=$(for f in host runtime library gui tests/fuzz tools boot; do [[ -d $f ]] && echo "$f"; done)
if ! command -v "$clang" >/dev/null 2>&1; then
    echo "no clang++ here (scripts/setup installs it)"
    exit 1
fi
log=$(mktemp)
trap 'rm -f "$log"' EXIT
# shellcheck disable=SC2086
find $folders -name '*.cpp' -print0 |
    xargs -0 -P2 -n8 "$clang" -std=c++20 -fsyntax-only -fsanitize=address,undefined -I. "${includes[@]}" \
        -DNUV_BOOT_IMAGE_FILE='"image"' >"$log" 2>&1
rc=$?
if [[ $rc -ne 0 ]]; then
    head -c 20000 "$log"
    echo "clang rejects the sources above (status $rc)"
    exit 1
fi
# shellcheck disable=SC2086
echo "clang accepts $(find $folders -name '*.cpp' | wc -l) sources"
