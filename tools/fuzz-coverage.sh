#!/usr/bin/env bash
# Line coverage of the fuzz targets: builds them with clang's source-based
# coverage (the `fuzz-coverage` preset), runs each once over its committed
# seeds and what tools/fuzz.sh found (build/fuzz/runs/<target>), and prints
# llvm-cov's per-file report of the program's own sources.
#
#   bash tools/fuzz-coverage.sh [TARGET ...]     (default: every target)
set -euo pipefail
cd "$(dirname "$0")/.."

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    for src in fuzz/fuzz_*.cpp; do
        targets+=("$(basename "$src" .cpp)")
    done
fi

cmake --preset fuzz-coverage >/dev/null
cmake --build --preset fuzz-coverage -j2 --target "${targets[@]}"

out=$PWD/build/fuzz-coverage/profiles
mkdir -p "$out"
for t in "${targets[@]}"; do
    inputs=()
    for dir in "fuzz/corpus/$t" "build/fuzz/runs/$t"; do
        [ -d "$dir" ] && inputs+=("$PWD/$dir")
    done
    [ ${#inputs[@]} -eq 0 ] && { echo "== $t: no inputs"; continue; }
    rm -f "$out/$t".*
    # -runs=0: every input once, no fuzzing. Findings kept in the runs folder
    # (crash-*, timeout-*) would stop it; they are not corpus entries.
    work=$(mktemp -d)
    for dir in "${inputs[@]}"; do
        find "$dir" -maxdepth 1 -type f ! -name 'crash-*' ! -name 'timeout-*' \
            ! -name 'slow-unit-*' ! -name 'leak-*' ! -name 'oom-*' ! -name '*.log' \
            -exec cp -t "$work" {} +
    done
    count=$(ls "$work" | wc -l)
    (cd "$work" && LLVM_PROFILE_FILE="$out/$t.profraw" \
        ASAN_OPTIONS=detect_leaks=0 "$OLDPWD/build/fuzz-coverage/fuzz/$t" -runs=0 . \
        >"$out/$t.log" 2>&1) || echo "== $t: a seed failed (see $out/$t.log)"
    rm -rf "$work"
    llvm-profdata-14 merge -sparse "$out/$t.profraw" -o "$out/$t.profdata"
    echo "== $t: $count inputs"
    # Per file: lines, lines missed, line coverage.
    llvm-cov-14 report "build/fuzz-coverage/fuzz/$t" -instr-profile="$out/$t.profdata" \
        -ignore-filename-regex='^/usr/|/fuzz/fuzz_|_autogen/' |
        awk 'BEGIN { printf "%-56s %7s %7s %8s\n", "file", "lines", "missed", "cover" }
             NF == 13 && $1 != "Filename" { printf "%-56s %7s %7s %8s\n", $1, $8, $9, $10 }'
done
