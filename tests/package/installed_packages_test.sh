#!/usr/bin/env bash
# The Debian packages (scripts/package.sh) installed for real and used as an administrator
# and a plug-in developer would: the agent run as root and as an unprivileged user, the
# installed example built with the installed kit through CMake (installed to CMake's default
# prefix, found by the bare agent) and through pkg-config. Then both packages are purged and
# nothing they made may be left. Needs root; without it, says so in one line and exits with
# 77, which the test command counts as skipped.
set -euo pipefail
packages="${1:-build/default/packages}"
if [ "$(id -u)" -ne 0 ]; then
  echo "installing packages needs root"
  exit 77
fi
runtime_deb="$(realpath "$packages"/zevururuzodovar_*.deb)"
dev_deb="$(realpath "$packages"/zevururuzodovar-dev_*.deb)"
state=/var/lib/host-agent
local_plugin=/usr/local/lib/host-agent/plugins/ExamplePlugin
shadow=/usr/local/lib/host-agent/plugins/ZEVUruruzodovar

fail() {
  echo "installed packages test: $*" >&2
  exit 1
}
# Every step is bounded in time.
bounded() { timeout --kill-after=10 300 "$@"; }
purge() { bounded dpkg --purge zevururuzodovar-dev zevururuzodovar >/dev/null 2>&1; }

for path in "$local_plugin" "$shadow"; do
  [ ! -e "$path" ] || fail "$path is in the way; remove it first"
done
local_tree=""
[ -e /usr/local/lib/host-agent ] || local_tree=/usr/local/lib/host-agent # made here, if at all
work="$(mktemp -d)"
# A failed run leaves nothing installed either.
cleanup() {
  rm -rf "$work" "$local_plugin" "$shadow" $local_tree
  purge || true
}
trap cleanup EXIT

purge # what an earlier run left installed
echo "== installing $(basename "$runtime_deb") $(basename "$dev_deb")"
DEBIAN_FRONTEND=noninteractive bounded apt-get install -y -qq --no-install-recommends \
  "$runtime_deb" "$dev_deb" >"$work/apt.log" 2>&1 || { cat "$work/apt.log"; fail "apt-get install failed"; }
listed="$(dpkg -L zevururuzodovar zevururuzodovar-dev | sort -u)"
[ -d "$state" ] || fail "the package did not make $state"

echo "== host-agent as root"
bounded host-agent >"$work/out" 2>"$work/err" || { cat "$work/out" "$work/err"; fail "host-agent failed as root"; }
grep -qx "ZEVUruruzodovar: status 0" "$work/out" || fail "no status line: $(cat "$work/out")"
[ -f "$state/plugins/ZEVUruruzodovar/ZEVUruruzodovar.voc" ] || fail "no vocabulary in $state"
# /usr stays as the packages left it.
while read -r path; do
  grep -qxF "$path" <<<"$listed" || fail "host-agent wrote $path"
done < <(find /usr/lib/host-agent)

echo "== host-agent as nobody"
status=0
bounded runuser -u nobody -- host-agent >"$work/out" 2>"$work/err" || status=$?
[ "$status" -eq 2 ] || fail "as nobody, host-agent exited $status, not 2: $(cat "$work/err")"
[ "$(wc -l <"$work/err")" -eq 1 ] && grep -q -- "--plugins DIR" "$work/err" && grep -q "root" "$work/err" ||
  fail "as nobody, not one message saying what to do:"$'\n'"$(cat "$work/err")"

echo "== the example plug-in through the CMake package, no build type, default prefix"
cp -r /usr/share/doc/zevururuzodovar-dev/examples/ExamplePlugin "$work/src"
bounded cmake -S "$work/src" -B "$work/build" -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >"$work/log" 2>&1 &&
  bounded cmake --build "$work/build" >>"$work/log" 2>&1 &&
  bounded cmake --install "$work/build" >>"$work/log" 2>&1 || { cat "$work/log"; fail "building the example failed"; }
grep -q -- "-O2" "$work/build/compile_commands.json" &&
  grep -q -- "-D_FORTIFY_SOURCE=2" "$work/build/compile_commands.json" ||
  fail "without a build type the example is not built optimised and fortified"
[ -f "$local_plugin/ExamplePlugin.so" ] || fail "cmake --install did not install $local_plugin/ExamplePlugin.so"
bounded host-agent >"$work/out" 2>"$work/err" || { cat "$work/out" "$work/err"; fail "host-agent failed with the example installed"; }
grep -qx "ExamplePlugin: status 0" "$work/out" && grep -qx "ZEVUruruzodovar: status 0" "$work/out" ||
  fail "the bare agent did not run both plug-ins: $(cat "$work/out")"

echo "== of two plug-ins of one name, the one in /usr/local runs"
mkdir "$shadow"
cp "$local_plugin/ExamplePlugin.so" "$shadow/ZEVUruruzodovar.so"
# Our plug-in rewrites its vocabulary on every run; the example in its place saves its own.
before="$(sha256sum <"$state/plugins/ZEVUruruzodovar/ZEVUruruzodovar.voc")"
bounded host-agent >"$work/out" 2>"$work/err" || { cat "$work/out" "$work/err"; fail "host-agent failed with a plug-in hidden"; }
grep -qx "ZEVUruruzodovar: status 0" "$work/out" || fail "no status line: $(cat "$work/out")"
[ "$before" = "$(sha256sum <"$state/plugins/ZEVUruruzodovar/ZEVUruruzodovar.voc")" ] ||
  fail "the plug-in in /usr/lib ran although /usr/local holds one of the same name"
rm -rf "$shadow"

echo "== the example plug-in through pkg-config"
mkdir -p "$work/pc/ExamplePlugin"
# The command line of the developer guide.
# shellcheck disable=SC2046
bounded g++ -std=c++17 $(pkg-config --variable=plugin_cflags kxl-host) \
  -DKXL_MODULE_NAME='"ExamplePlugin"' "$work/src/ExamplePlugin.cpp" -o "$work/pc/ExamplePlugin/ExamplePlugin.so" \
  $(pkg-config --cflags --libs kxl-host) $(pkg-config --variable=plugin_ldflags kxl-host) ||
  fail "building the example with pkg-config failed"
bounded host-agent run --plugins "$work/pc" >"$work/out" 2>"$work/err" || { cat "$work/out" "$work/err"; fail "host-agent failed on the pkg-config build"; }
grep -qx "ExamplePlugin: status 0" "$work/out" || fail "no status line: $(cat "$work/out")"

echo "== a plug-in's package gets its dependency on the host libraries from dpkg-shlibdeps"
mkdir -p "$work/deb/debian" && touch "$work/deb/debian/control"
(cd "$work/deb" && bounded dpkg-shlibdeps -O -l/usr/lib/host-agent "$work/pc/ExamplePlugin/ExamplePlugin.so") \
  >"$work/shlibs" 2>&1 || { cat "$work/shlibs"; fail "dpkg-shlibdeps failed on the example"; }
grep -q "zevururuzodovar (>= " "$work/shlibs" || fail "no dependency on the host libraries: $(cat "$work/shlibs")"

echo "== reinstalling keeps what the administrator set on $state, and what it holds"
chmod 0750 "$state"
bounded dpkg -i "$runtime_deb" >"$work/dpkg.log" 2>&1 || { cat "$work/dpkg.log"; fail "reinstalling failed"; }
[ "$(stat -c %a "$state")" = 750 ] || fail "reinstalling set the mode of $state to $(stat -c %a "$state")"
[ -f "$state/plugins/ZEVUruruzodovar/ZEVUruruzodovar.voc" ] || fail "reinstalling lost the vocabulary"

echo "== purging"
rm -rf "$local_plugin" $local_tree
purge || fail "dpkg --purge failed"
[ ! -e "$state" ] || fail "$state is left after the purge"
while read -r path; do
  # What is left must be a folder another package owns too (/usr/share/doc, ...).
  [ ! -e "$path" ] || dpkg -S "$path" >/dev/null 2>&1 || fail "$path is left after the purge"
done <<<"$listed"
echo "installed packages test: installed, run as root and nobody, example built both ways, purged clean"
