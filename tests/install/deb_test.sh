#!/bin/bash
# Makes the Debian package from the build and checks what it holds and what it depends on.
# Usage: deb_test.sh BUILD_DIR WITH_WINDOW(0|1)
set -u
build=$1 with_window=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

(cd "$work" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/out") >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log" >&2; echo "FAIL: cpack -G DEB" >&2; exit 1; }
deb=$work/out/lfqutil_4.2.2.0_$(dpkg --print-architecture).deb
[[ -f $deb ]] || { ls "$work/out" >&2; echo "FAIL: no $deb" >&2; exit 1; }

files=$(dpkg-deb -c "$deb" | awk '{print $6}')
expected=(./usr/bin/lfqutil ./usr/share/applications/lfqutil.desktop
  ./usr/share/metainfo/io.github.lfqutil.lfqutil.metainfo.xml
  ./usr/share/icons/hicolor/scalable/apps/lfqutil.svg ./usr/share/icons/hicolor/48x48/apps/lfqutil.png
  ./usr/share/icons/hicolor/256x256/apps/lfqutil.png ./usr/share/man/man1/lfqutil.1
  ./usr/share/bash-completion/completions/lfqutil)
((with_window)) && expected+=(./usr/lib/lfqutil/lfqutil-window.so)
for file in "${expected[@]}"; do
  grep -qxF "$file" <<<"$files" || fail "the package lacks $file"
done
# The program only: the foundation library's headers and CMake package stay out.
grep -q '/include/\|/cmake/' <<<"$files" && fail "the package holds development files"

depends=$(dpkg-deb -f "$deb" Depends)
for package in libc6 libstdc++6 zlib1g; do
  grep -q "\b$package\b" <<<"$depends" || fail "Depends lacks $package: $depends"
done
((with_window)) && ! grep -q 'libqt6widgets6' <<<"$depends" && fail "Depends lacks Qt 6 Widgets: $depends"

((failures == 0))
