#!/usr/bin/env bash
# Publication at scale: times host-agent against the plain reference pipeline
# (bench/reference_pipeline.cpp) in the same run and prints one table of figures and ratios.
#
#   bash scripts/bench.sh [RUNS]      RUNS: runs per figure, the median is shown (default 3)
#
# CPU is user + sys, memory the peak resident set, both from GNU time. "above bare" is the
# peak beyond that of a run on the built-in catalogue, per guest OS.
set -euo pipefail
runs="${1:-3}"
here="$(cd "$(dirname "$0")" && pwd)"
root="$here/.."
"$here/setup.sh" test >&2
command -v /usr/bin/time >/dev/null || { echo "bench.sh: needs GNU time (apt-get install time)" >&2; exit 2; }
"$here/build.sh" default >&2

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
# A private copy of the install tree: the plug-in writes its .voc beside itself.
cp -r "$root/build/default/stage" "$work/tree"
agent="$work/tree/bin/host-agent"
voc="$work/tree/lib/host-agent/plugins/ZEVUruruzodovar/ZEVUruruzodovar.voc"
reference="$root/build/default/bench/reference_pipeline"
for n in 10000 100000 1000000; do
  python3 "$root/bench/make_catalog.py" "$n" "$work/catalog-$n.json"
done

# Median over $runs runs of: CPU seconds, wall seconds, peak KiB.
measure() {
  local n="$1"; shift
  local i
  for ((i = 0; i < n; i++)); do
    /usr/bin/time -f "%U %S %e %M" -o "$work/time" "$@" >/dev/null 2>"$work/stderr" ||
      { echo "bench.sh: failed: $*" >&2; cat "$work/stderr" >&2; exit 1; }
    awk '{ printf "%.2f %.2f %d\n", $1 + $2, $3, $4 }' "$work/time"
  done | sort -n | awk '{ line[NR] = $0 } END { print line[int((NR + 1) / 2)] }'
}

# CPU of many short runs in a row: one run is below the clock's resolution.
loop() {
  local count="$1"; shift
  /usr/bin/time -f "%U %S" -o "$work/time" sh -c 'for i in $(seq '"$count"'); do "$@" >/dev/null 2>&1; done' sh "$@"
  awk '{ printf "%.3f\n", $1 + $2 }' "$work/time"
}

read -r bare_cpu bare_wall bare_kib <<<"$(measure "$runs" "$agent" run)"
declare -A cpu wall kib
for n in 10000 100000; do
  read -r cpu[$n] wall[$n] kib[$n] <<<"$(measure "$runs" "$agent" run --catalog "$work/catalog-$n.json")"
done
read -r ref_cpu ref_wall ref_kib <<<"$(measure "$runs" "$reference" "$work/catalog-100000.json" "$work/reference.voc")"
read -r show_cpu show_wall show_kib <<<"$(measure "$runs" "$agent" show "$voc")"
read -r cpu[1000000] wall[1000000] kib[1000000] <<<"$(measure 1 "$agent" run --catalog "$work/catalog-1000000.json")"
# The round trip at 1M: the file the run saved reads back whole.
rows="$("$agent" show "$voc" | grep -c '^ *[0-9]\+  os[0-9]' || true)"
# A hostile shape: five million empty elements (about 90 MB). The reader's memory follows
# the tree it builds, not the file.
python3 -c '
import sys
with open(sys.argv[1], "w") as out:
    out.write("<message format=\"1\" kind=\"0\"><element tag=\"1\">")
    out.write("<element tag=\"1\"/>" * 5000000)
    out.write("</element></message>")
' "$work/empty-elements.voc"
empty_bytes="$(stat -c %s "$work/empty-elements.voc")"
read -r empty_cpu empty_wall empty_kib <<<"$(measure 1 "$agent" show "$work/empty-elements.voc")"
help_loop="$(loop 200 "$agent" --help)"
bare_loop="$(loop 200 "$agent" run)"

per_os() { awk -v c="$1" -v n="$2" 'BEGIN { printf "%.2f", c / n * 1e6 }'; }
above() { awk -v k="$1" -v b="$bare_kib" -v n="$2" 'BEGIN { printf "%.2f", (k - b) / n }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }'; }

printf '%-44s %8s %8s %9s %14s\n' "case" "CPU s" "wall s" "peak MiB" "KiB/OS above"
row() { printf '%-44s %8s %8s %9d %14s\n' "$1" "$2" "$3" "$(($4 / 1024))" "$5"; }
row "host-agent run (built-in catalogue)" "$bare_cpu" "$bare_wall" "$bare_kib" "-"
for n in 10000 100000 1000000; do
  row "host-agent run --catalog, $n guest OSes" "${cpu[$n]}" "${wall[$n]}" "${kib[$n]}" "$(above "${kib[$n]}" "$n")"
done
row "reference pipeline, 100000 guest OSes" "$ref_cpu" "$ref_wall" "$ref_kib" "$(above "$ref_kib" 100000)"
row "host-agent show, 100000 guest OSes" "$show_cpu" "$show_wall" "$show_kib" "-"
row "host-agent show, 5M empty elements ($((empty_bytes >> 20)) MiB)" "$empty_cpu" "$empty_wall" "$empty_kib" "-"
echo
printf '%-58s %8s %s\n' "ratio" "value" "target"
printf '%-58s %8s %s\n' "CPU at 100k, host-agent / reference" "$(ratio "${cpu[100000]}" "$ref_cpu")" "<= 0.50"
printf '%-58s %8s %s\n' "CPU per guest OS, 100k / 10k" \
  "$(ratio "$(per_os "${cpu[100000]}" 100000)" "$(per_os "${cpu[10000]}" 10000)")" "<= 1.25"
printf '%-58s %8s %s\n' "CPU per guest OS, 1M / 100k" \
  "$(ratio "$(per_os "${cpu[1000000]}" 1000000)" "$(per_os "${cpu[100000]}" 100000)")" "<= 1.25"
printf '%-58s %8s %s\n' "CPU, 200 bare runs / 200 runs of --help" "$(ratio "$bare_loop" "$help_loop")" "<= 1.50"
printf '%-58s %8s %s\n' "guest OSes read back from the 1M file by show" "$rows" "= 1000000"
