#!/usr/bin/env bash
# Builds the two Debian packages of a configured and built tree (default: build/default)
# with CPack, lists their contents, and fails when a package lacks a file it must hold,
# holds one that belongs to the other (or to none: the host-side headers), when the
# upstream changelog's newest section is not the packaged version, or when
# lintian --pedantic reports an error or a warning.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build/default}"
out="$build/packages"

rm -rf "$out"
(cd "$build" && cpack -G DEB -B "$PWD/packages" >/dev/null)

multiarch="$(dpkg-architecture -qDEB_HOST_MULTIARCH)"
libs=(KXLCore KXLCommon KXLMessage KXLLibLocal KXLFunctionalityCore KXPCommon)
runtime_files=(
  usr/bin/host-agent
  usr/lib/host-agent/plugins/ZEVUruruzodovar/ZEVUruruzodovar.so
  usr/share/man/man1/host-agent.1.gz
  usr/share/doc/zevururuzodovar/copyright
  usr/share/doc/zevururuzodovar/changelog.gz
  usr/share/doc/zevururuzodovar/changelog.Debian.gz)
dev_files=(
  usr/include/kxl-host/KXLMessage/KXLMessageIterator.h
  usr/include/kxl-host/host/KXLVocCacheLocal.h
  usr/include/kxl-host/host/KXPServer.h
  "usr/lib/$multiarch/cmake/KXLHost/KXLHostConfig.cmake"
  "usr/lib/$multiarch/cmake/KXLHost/KXLHostConfigVersion.cmake"
  "usr/lib/$multiarch/cmake/KXLHost/KXLHostTargets.cmake"
  "usr/lib/$multiarch/cmake/KXLHost/KXLHostPlugin.cmake"
  "usr/lib/$multiarch/cmake/KXLHost/plugin-exports.map"
  "usr/lib/$multiarch/pkgconfig/kxl-host.pc"
  usr/share/kxl-host/voc-format-1.rng
  usr/share/doc/zevururuzodovar-dev/plugin-development.md
  usr/share/doc/zevururuzodovar-dev/vocabulary.md
  usr/share/doc/zevururuzodovar-dev/examples/ExamplePlugin/CMakeLists.txt
  usr/share/doc/zevururuzodovar-dev/examples/ExamplePlugin/ExamplePlugin.cpp
  usr/share/doc/zevururuzodovar-dev/copyright
  usr/share/doc/zevururuzodovar-dev/changelog.gz
  usr/share/doc/zevururuzodovar-dev/changelog.Debian.gz)
for lib in "${libs[@]}"; do
  runtime_files+=("usr/lib/host-agent/lib$lib.so.7.0")
  dev_files+=("usr/lib/host-agent/lib$lib.so")
done

failed=0
# check PACKAGE-FILE PATTERN-THAT-MUST-NOT-MATCH REQUIRED-PATH...
check() {
  local deb="$1" forbidden="$2"
  shift 2
  echo "== $(basename "$deb")"
  dpkg-deb -f "$deb" Package Version Architecture Depends
  local listing paths
  listing="$(dpkg-deb -c "$deb")"
  echo "$listing"
  # The path column, without "./" and without a symlink's " -> target".
  paths="$(awk '{print $6}' <<<"$listing" | sed 's|^\./||')"
  for path in "$@"; do
    if ! grep -qxF "$path" <<<"$paths"; then
      echo "MISSING from $(basename "$deb"): $path" >&2
      failed=1
    fi
  done
  if grep -E "$forbidden" <<<"$paths" >&2; then
    echo "MISPLACED in $(basename "$deb"): the files above belong to the other package or to none" >&2
    failed=1
  fi
}

runtime_deb=("$out"/zevururuzodovar_*.deb)
dev_deb=("$out"/zevururuzodovar-dev_*.deb)
# The host's library names are lib<NAME>.so.7.0: no other versioned name is shipped.
check "${runtime_deb[0]}" '^usr/include/|^usr/lib/host-agent/lib[^/]*\.so$|/cmake/|/pkgconfig/|\.so\.7$' \
  "${runtime_files[@]}"
# The kit holds the headers plug-ins include, none of the host's own.
check "${dev_deb[0]}" '^usr/bin/|\.so\.7(\.0)?$|/plugins/|/host/(KXLMessageFile|KXLMessageTree|KXPCatalog)\.h$' \
  "${dev_files[@]}"

# The runtime package names the shared libraries it needs; the kit needs the runtime.
if ! dpkg-deb -f "${runtime_deb[0]}" Depends | grep -q 'libutf8proc'; then
  echo "The runtime package does not depend on libutf8proc" >&2
  failed=1
fi
if ! dpkg-deb -f "${dev_deb[0]}" Depends | grep -q 'zevururuzodovar (= '; then
  echo "The development package does not depend on the runtime package's version" >&2
  failed=1
fi

# The upstream changelog in the packages names the version they hold.
version="$(dpkg-deb -f "${runtime_deb[0]}" Version)"
newest="$(grep -m1 '^## ' CHANGELOG.md || true)"
if [ "$newest" != "## ${version%-*}" ]; then
  echo "CHANGELOG.md: the newest section is \"$newest\", not \"## ${version%-*}\" of the package" >&2
  failed=1
fi

# Every error and warning fails; a first upload closes no bug report by nature.
echo "== lintian"
lintian --no-cfg --pedantic --fail-on error,warning --suppress-tags initial-upload-closes-no-bugs \
  "${runtime_deb[0]}" "${dev_deb[0]}" || failed=1

[ "$failed" -eq 0 ] || { echo "The packages are incomplete (see above)" >&2; exit 1; }
echo "Packages: ${runtime_deb[0]} ${dev_deb[0]}"
