#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (the `fuzz` preset: address and
# undefined-behaviour sanitizers) and runs each for SECONDS on its seed corpus
# in fuzz/corpus/<target>. New inputs go to a scratch folder (build/fuzz/runs),
# never into the committed corpus; a crash leaves its input there and fails
# the script.
#
#   bash tools/fuzz.sh [SECONDS] [TARGET ...]     (default: 60 s, every target)
#
# FUZZ_SEED=N makes the mutations repeat from run to run (CI's smoke run: a
# finding there is the same finding again on the next run, not luck).
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
shift || true

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    for dir in fuzz/corpus/*/; do
        targets+=("$(basename "$dir")")
    done
    # A target without seeds of its own starts from nothing.
    for src in fuzz/fuzz_*.cpp; do
        name=$(basename "$src" .cpp)
        [[ " ${targets[*]} " == *" $name "* ]] || targets+=("$name")
    done
fi

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j2 --target "${targets[@]}"

failed=0
for t in "${targets[@]}"; do
    runs=$PWD/build/fuzz/runs/$t
    mkdir -p "$runs"
    seeds=()
    [ -d "fuzz/corpus/$t" ] && seeds=("$PWD/fuzz/corpus/$t")
    echo "== $t: ${seconds} s"
    log=$runs.log
    # The leaks of system libraries kept for the process's life are the
    # sanitizer tests' own list.
    if (cd "$runs" && LSAN_OPTIONS=suppressions=$OLDPWD/tools/lsan.supp:print_suppressions=0 \
            "$OLDPWD/build/fuzz/fuzz/$t" -max_total_time="$seconds" -rss_limit_mb=2048 \
            -timeout=20 -print_final_stats=1 ${FUZZ_SEED:+-seed=$FUZZ_SEED} . "${seeds[@]}") >"$log" 2>&1; then
        grep -E '^#[0-9]+.*DONE|stat::number_of_executed_units|stat::peak_rss_mb' "$log" || true
    else
        failed=1
        tail -n 40 "$log"
        echo "== $t FAILED (its input is in $runs)"
    fi
done
exit $failed
