#!/usr/bin/env bash
# Builds and runs the libFuzzer target of the cue archive reader with clang-14.
#   fuzz/build.sh [SECONDS] [extra libFuzzer options...]
# The corpus starts from the golden cue list files; new inputs go to build-fuzz/corpus.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
shift || true
out=build-fuzz
mkdir -p "$out/corpus"
cp -n tests/data/*.mvl "$out/corpus/" 2>/dev/null || true
clang++-14 -std=c++20 -g -O1 -fPIC -fsanitize=fuzzer,address,undefined \
    -Isrc $(pkg-config --cflags Qt6Core) \
    fuzz/ArchiveFuzzer.cpp src/cuelist/CueArchive.cpp src/cuelist/CQRecord.cpp \
    src/cuelist/FileError.cpp \
    src/platform/text/AnsiText.cpp src/platform/text/PathRules.cpp \
    src/platform/text/CaseInsensitiveLookup.cpp \
    $(pkg-config --libs Qt6Core) -o "$out/archive_fuzzer"
"$out/archive_fuzzer" -max_total_time="$seconds" -max_len=4096 -rss_limit_mb=1024 "$@" \
    "$out/corpus"
