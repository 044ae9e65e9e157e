#!/usr/bin/env bash
# tools/fuzz.sh [seconds]  builds the libFuzzer targets of fuzz/ (clang, in
#                          build-fuzz) and runs each for that long (default 60),
#                          two at a time, each from a fresh copy of its seeds in
#                          fuzz/corpus/<target>/. Exits non-zero on any finding,
#                          naming the target and the reproducer's path.
# FUZZ_TARGETS="fuzz_ini_file fuzz_radix64" runs only those.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
seconds=${1:-60}
case $seconds in '' | *[!0-9]*) echo "usage: $0 [seconds]" >&2; exit 2 ;; esac

"$root/tools/install-deps.sh" >/dev/null

build=$root/build-fuzz
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQUENDREL_FUZZ=ON -DQUENDREL_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --target quendrel_fuzzers -j "$(nproc)"

# The working corpora, the targets' files and any reproducers live outside
# the repository, on a RAM disk where there is one; kept when something was found.
base=/tmp
[ -w /dev/shm ] && base=/dev/shm
work=$(mktemp -d "$base/quendrel-fuzz.XXXXXX")

targets=${FUZZ_TARGETS:-$(cd "$root/fuzz/corpus" && ls)}

run_target() {
  local target=$1 dir=$work/$1
  mkdir -p "$dir/tmp"
  cp -r "$root/fuzz/corpus/$target" "$dir/corpus"
  # A single input taking 30 s is a hang worth reporting.
  (cd "$dir" && TMPDIR=$dir/tmp "$build/fuzz/$target" -max_total_time="$seconds" -timeout=30 \
    -print_final_stats=1 -artifact_prefix="$dir/" corpus >"$dir/log" 2>&1) || true
}

running=0
for target in $targets; do
  if [ "$running" -ge 2 ]; then
    wait -n
    running=$((running - 1))
  fi
  run_target "$target" &
  running=$((running + 1))
done
wait

found=0
for target in $targets; do
  dir=$work/$target
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$dir/log")
  reproducers=$(find "$dir" -maxdepth 1 -type f \( -name 'crash-*' -o -name 'leak-*' -o -name 'timeout-*' \
    -o -name 'oom-*' \))
  if [ -n "$reproducers" ] || [ -z "$runs" ]; then
    found=1
    echo "FINDING in $target: ${reproducers:-no reproducer, see $dir/log}"
    grep -A8 -m1 -E '^== Broken promise|ERROR: (AddressSanitizer|LeakSanitizer|libFuzzer)|runtime error' "$dir/log" \
      | grep -v '^    #' | sed 's/^/    /' || true
    echo "    log: $dir/log"
  else
    printf '%-24s %10s runs in %ss, nothing found\n' "$target" "$runs" "$seconds"
  fi
done

if [ "$found" -ne 0 ]; then
  echo "Reproduce with: $build/fuzz/<target> <reproducer>" >&2
  exit 1
fi
rm -rf "$work"
