#!/usr/bin/env bash
# Builds the libFuzzer targets (the .voc reader, what the agent makes of a .voc file, the
# catalogue parser) with clang in build/fuzz. Each target replays the saved inputs of its
# kind (voc or catalog: its name up to the first '_') in fuzz/regressions/, then fuzzes for
# SECONDS (default 60) from a scratch copy of that kind's seed corpus in fuzz/corpus/, with
# its format's tokens from fuzz/dict/. Fails on a crash, a sanitizer report or a broken
# property; libFuzzer then prints the input it saved.
#   scripts/fuzz.sh [SECONDS]
# What a run adds to the corpus stays in build/fuzz/runs/TARGET/corpus/ for the next run; a
# crash input lands in build/fuzz/runs/TARGET/artifacts/ and, once fixed, belongs in
# fuzz/regressions/voc/ or fuzz/regressions/catalog/.
set -euo pipefail
seconds="${1:-60}"
case "$seconds" in
  ''|*[!0-9]*|0) echo "fuzz.sh: SECONDS must be a positive whole number, got \"$seconds\"" >&2; exit 2 ;;
esac
cd "$(dirname "$0")/.."
root="$(pwd)"
build="$root/build/fuzz"

command -v clang++ >/dev/null || { echo "fuzz.sh: clang++ is missing (scripts/setup.sh test installs it)" >&2; exit 1; }
cmake -S fuzz -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j "$(nproc)"

# The saves of the .voc target go to a private folder, in memory when there is one.
scratch="$(mktemp -d -p "$([ -d /dev/shm ] && [ -w /dev/shm ] && echo /dev/shm || echo "${TMPDIR:-/tmp}")" kxl-fuzz.XXXXXX)"
trap 'rm -rf "$scratch"' EXIT
export TMPDIR="$scratch"
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"

status=0
for target in voc_reader voc_outputs catalog; do
  name="${target}_fuzz"
  kind="${target%%_*}"
  inputs=()
  for file in fuzz/regressions/"$kind"/*; do [ -f "$file" ] && inputs+=("$file"); done
  if [ ${#inputs[@]} -gt 0 ]; then
    echo "== $name: replaying ${#inputs[@]} regression input(s)"
    if ! "$build/$name" "${inputs[@]}"; then
      echo "fuzz.sh: $name fails on a saved regression input" >&2
      status=1
      continue
    fi
  fi

  # The run adds what it finds to its own copy; the committed seeds stay as they are.
  runs="$build/runs/$name"
  mkdir -p "$runs/corpus" "$runs/artifacts"
  cp fuzz/corpus/"$kind"/* "$runs/corpus/"
  echo "== $name: fuzzing for $seconds s"
  if ! "$build/$name" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
       -dict="fuzz/dict/$kind.dict" -artifact_prefix="$runs/artifacts/" "$runs/corpus"; then
    echo "fuzz.sh: $name found a fault; the input is in $runs/artifacts/" >&2
    status=1
  fi
done
exit "$status"
