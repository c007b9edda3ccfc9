#!/usr/bin/env bash
# The fuzz build compiles the runtime, host/, the programs and the fuzz targets with clang while
# every other build uses GCC: clang must keep accepting each of those files, so that build never
# breaks unseen. Syntax and types only, with the fuzz build's sanitizers (which some code tests
# for), two files at a time.
# Usage: clang_syntax.sh CLANG++ SOURCE-ROOT CAIRO-INCLUDE-DIR
set -u
clang=$1
cairo=$3
cd "$2" || exit 1
if ! command -v "$clang" >/dev/null 2>&1; then
    echo "no clang++ here (scripts/setup installs it)"
    exit 1
fi
log=$(mktemp)
trap 'rm -f "$log"' EXIT
find host runtime tests/fuzz tools boot -name '*.cpp' -print0 |
    xargs -0 -P2 -n8 "$clang" -std=c++20 -fsyntax-only -fsanitize=address,undefined -I. -I"$cairo" \
        -DNUV_BOOT_IMAGE_FILE='"image"' >"$log" 2>&1
rc=$?
if [[ $rc -ne 0 ]]; then
    head -c 20000 "$log"
    echo "clang rejects the sources above (status $rc)"
    exit 1
fi
echo "clang accepts $(find host runtime tests/fuzz tools boot -name '*.cpp' | wc -l) sources"
