#!/usr/bin/env bash
# The performance targets in one table, measured in the same run: host-agent against the
# plain reference pipeline (bench/reference_pipeline.cpp), its own bare run and --help, the
# components against memcpy (the Google Benchmark programs in bench/), and `show` against
# the agent of commit 52cb74a. bench/targets.py measures and prints.
#
#   bash scripts/bench.sh [RUNS]      RUNS: runs per figure, the median is shown (default 3)
set -euo pipefail
runs="${1:-3}"
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/.." && pwd)"
"$here/setup.sh" test >&2
command -v /usr/bin/time >/dev/null || { echo "bench.sh: needs GNU time (apt-get install time)" >&2; exit 2; }
"$here/build.sh" default >&2

# The agent `show` is compared with, built once from the commit's own sources (only the
# agent and the libraries it links) and kept for later runs.
baseline_commit=52cb74a
baseline="$root/build/baseline-$baseline_commit"
if [[ ! -x "$baseline/build/stage/bin/host-agent" ]] &&
   git -C "$root" cat-file -e "$baseline_commit^{commit}" 2>/dev/null; then
  echo "bench.sh: building host-agent of $baseline_commit in $baseline (once)" >&2
  rm -rf "$baseline"
  mkdir -p "$baseline/src"
  git -C "$root" archive "$baseline_commit" | tar -x -C "$baseline/src"
  cmake -S "$baseline/src" -B "$baseline/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DKXL_BUILD_TESTS=OFF -DKXL_BUILD_BENCH=OFF >/dev/null
  cmake --build "$baseline/build" --target host-agent -j "$(nproc)" >&2
fi

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
# A private copy of the install tree: the plug-in writes its .voc beside itself.
cp -r "$root/build/default/stage" "$work/tree"
for n in 100000 1000000; do
  python3 "$root/bench/make_catalog.py" "$n" "$work/catalog-$n.json"
done

args=(--runs "$runs" --work "$work" --agent "$work/tree/bin/host-agent"
  --voc "$work/tree/lib/host-agent/plugins/ZEVUruruzodovar/ZEVUruruzodovar.voc"
  --reference "$root/build/default/bench/reference_pipeline" --bench "$root/build/default/bench")
if [[ -x "$baseline/build/stage/bin/host-agent" ]]; then
  args+=(--baseline "$baseline/build/stage/bin/host-agent" --baseline-name "$baseline_commit")
fi
python3 "$root/bench/targets.py" "${args[@]}"
