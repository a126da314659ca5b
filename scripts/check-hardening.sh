#!/usr/bin/env bash
# Checks the binaries of a staged install tree (default: build/default/stage) as a
# distribution would: full RELRO, immediate binding, the stack protector and a
# non-executable stack everywhere, the agent a PIE; the plug-in exports exactly its two
# entry points and each host library only its host interface (KXL:: and KXP:: names).
# hardening-check (devscripts) also runs where it is installed.
set -euo pipefail
stage="${1:-$(cd "$(dirname "$0")/.." && pwd)/build/default/stage}"

agent="$stage/bin/host-agent"
mapfile -t libraries < <(find "$stage" -name 'lib*.so.7.0' | sort)
mapfile -t plugins < <(find "$stage" -path '*/plugins/*/*.so' | sort)
if [ ! -x "$agent" ] || [ ${#libraries[@]} -ne 6 ] || [ ${#plugins[@]} -eq 0 ]; then
  echo "check-hardening: no built agent, six host libraries and a plug-in under $stage" >&2
  exit 1
fi

failures=0
fail() {
  echo "check-hardening: $1: $2" >&2
  failures=$((failures + 1))
}

# grep -q reads here strings: its early exit must not break a pipe under pipefail.
for file in "$agent" "${libraries[@]}" "${plugins[@]}"; do
  headers="$(readelf -lW "$file")"
  dynamic="$(readelf -dW "$file")"
  grep -q 'GNU_RELRO' <<<"$headers" || fail "$file" "no RELRO"
  grep -Eq '\(FLAGS\).*BIND_NOW|\(FLAGS_1\).*NOW' <<<"$dynamic" || fail "$file" "no BIND_NOW"
  # Without a GNU_STACK header the stack is executable.
  stack="$(awk '$1 == "GNU_STACK" { print $7 }' <<<"$headers")"
  [ -n "$stack" ] && [[ "$stack" != *E* ]] || fail "$file" "executable stack"
  symbols="$(readelf -sW --dyn-syms "$file")"
  grep -q '__stack_chk_fail' <<<"$symbols" || fail "$file" "no stack protector"
done

header="$(readelf -hW "$agent")"
dynamic="$(readelf -dW "$agent")"
grep -q 'Type:.*DYN' <<<"$header" && grep -q 'FLAGS_1.*PIE' <<<"$dynamic" || fail "$agent" "not a PIE"

for plugin in "${plugins[@]}"; do
  exports="$(nm -D --defined-only "$plugin" | awk '{ print $NF }' | sort | tr '\n' ' ')"
  [ "$exports" = "finiKXLPlugIn initKXLPlugIn " ] ||
    fail "$plugin" "exports $(wc -w <<<"$exports") symbols, not just initKXLPlugIn and finiKXLPlugIn: ${exports:0:200}"
done

for library in "${libraries[@]}"; do
  # Demangled names; anything outside the host namespaces is an implementation detail.
  extra="$(nm -DC --defined-only "$library" | cut -d' ' -f3- |
           grep -Ev '^((typeinfo|typeinfo name|vtable) for )?KXL::|^((typeinfo|typeinfo name|vtable) for )?KXP::' || true)"
  [ -z "$extra" ] || fail "$library" "exports $(wc -l <<<"$extra") symbols beyond its host interface, e.g. $(head -1 <<<"$extra")"
done

if command -v hardening-check >/dev/null; then
  # Fortify only shows where a binary calls a checked function; control-flow protection
  # is not part of the build's hardening.
  hardening-check --quiet --nofortify --nocfprotection "$agent" "${libraries[@]}" "${plugins[@]}" ||
    fail "hardening-check" "see above"
fi

if [ "$failures" -ne 0 ]; then
  echo "check-hardening: $failures problem(s)" >&2
  exit 1
fi
echo "check-hardening: $((1 + ${#libraries[@]} + ${#plugins[@]})) binaries hardened, exports as expected"
