#!/usr/bin/env bash
# Installs what is missing, builds one preset (default: "default"; "asan" for the address
# and undefined-behaviour sanitizers; "tsan" for the thread sanitizer, which builds and runs
# only the tests that run threads) and runs every test of it. For the default preset it then checks the
# binaries for hardening and exports, builds and checks the two Debian packages, installs,
# uses and purges them where it runs as root (tests/package), and runs the three fuzz targets
# for 60 s each (scripts/fuzz.sh, a build of its own with clang).
# Each step's output goes to build/PRESET/test-logs/STEP.log; the terminal gets one line a
# step (the tail of the log when it fails) and, last, "test.sh: N passed, N failed" (", N
# skipped" when a step could not run here): each test of ctest counts once, and so does each
# later step.
set -uo pipefail
preset="${1:-default}"
here="$(cd "$(dirname "$0")" && pwd)"
cd "$here/.."
logs="build/$preset/test-logs"
mkdir -p "$logs"
passed=0
failed=0
skipped=0

# step NAME COMMAND...: runs the command with its output in the step's log. Returns 0, or 77
# when the command could not run here (its last line says why), or 1.
step() {
  local name="$1"
  shift
  echo "$name: running (log: $logs/$name.log)"
  local status=0
  "$@" >"$logs/$name.log" 2>&1 || status=$?
  if [ "$status" -eq 0 ]; then
    echo "$name: passed"
    return 0
  fi
  if [ "$status" -eq 77 ]; then
    echo "$name: skipped: $(tail -n 1 "$logs/$name.log")"
    return 77
  fi
  tail -n 40 "$logs/$name.log"
  echo "$name: FAILED (log: $logs/$name.log)"
  return 1
}

finish() {
  echo "test.sh: $passed passed, $failed failed$([ "$skipped" -gt 0 ] && echo ", $skipped skipped")"
  [ "$failed" -eq 0 ]
  exit
}

# Without the packages and a build there is nothing to test.
for prerequisite in setup build; do
  case "$prerequisite" in
    setup) command=("$here/setup.sh" test) ;;
    build) command=("$here/build.sh" "$preset") ;;
  esac
  if ! step "$prerequisite" "${command[@]}"; then
    failed=$((failed + 1))
    finish
  fi
done

ctest=(ctest --preset "$preset" -j "$(nproc)")
# The thread sanitizer's memory layout needs the address space unshuffled on kernels that
# randomise more of it than it expects.
[ "$preset" = tsan ] && ctest=(setarch "$(uname -m)" -R "${ctest[@]}")
step ctest "${ctest[@]}"
ctest_status=$?
# "100% tests passed, 0 tests failed out of 262" (a failure's log tail named the failed ones).
verdict="$(grep -E '^[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$logs/ctest.log" | tail -n 1)"
bad=0
if [ -n "$verdict" ]; then
  echo "ctest: $verdict"
  total="$(sed -E 's/.* out of ([0-9]+).*/\1/' <<<"$verdict")"
  bad="$(sed -E 's/.* ([0-9]+) tests? failed.*/\1/' <<<"$verdict")"
  passed=$((passed + total - bad))
fi
# ctest failing with no test failed (a crash of ctest), or ending without a verdict (no tests
# found, which it does not count as failing), is one failure.
{ [ "$ctest_status" -ne 0 ] || [ -z "$verdict" ]; } && [ "$bad" -eq 0 ] && bad=1
failed=$((failed + bad))

# The sanitizer build is not the one that ships.
if [ "$preset" = default ]; then
  for check in hardening packages installed-packages fuzzing; do
    case "$check" in
      hardening) command=("$here/check-hardening.sh" "build/$preset/stage") ;;
      packages) command=("$here/package.sh" build/default) ;;
      installed-packages) command=(tests/package/installed_packages_test.sh build/default/packages) ;;
      fuzzing) command=("$here/fuzz.sh" 60) ;;
    esac
    step "$check" "${command[@]}"
    case $? in
      0) passed=$((passed + 1)) ;;
      77) skipped=$((skipped + 1)) ;;
      *) failed=$((failed + 1)) ;;
    esac
  done
fi
finish
