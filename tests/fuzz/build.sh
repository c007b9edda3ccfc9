#!/bin/sh
# Builds the lexer fuzz target into build/fuzz/lexer_fuzz (needs clang++ and libclang-rt-14-dev),
# then, given a time in seconds, runs it over tests/fuzz/corpus (new inputs land in
# build/fuzz/corpus; merge the interesting ones back with -merge=1).
set -e
cd "$(dirname "$0")/../.."
mkdir -p build/fuzz/corpus
clang++ -std=c++20 -O1 -g -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
    -I. runtime/*.cpp runtime/datatypes/*.cpp runtime/evaluator/*.cpp runtime/syntax/*.cpp boot/boot_source.cpp tests/fuzz/lexer_fuzz.cpp \
    -o build/fuzz/lexer_fuzz
if [ -n "$1" ]; then
    build/fuzz/lexer_fuzz -fork=4 -max_total_time="$1" -max_len=2048 -rss_limit_mb=4096 \
        build/fuzz/corpus tests/fuzz/corpus
fi
