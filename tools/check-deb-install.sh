#!/bin/sh
# Makes the Debian package from the default build, installs it with apt-get as a user would, uses the
# installed program (batch build of the demo, the window on a virtual X server), then purges the package.
# Changes the machine's installed packages: meant for CI and throwaway machines, run as root.
set -e
cd "$(dirname "$0")/.."
build=build/default
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
(cd "$work" && cpack -G DEB --config "$OLDPWD/$build/CPackConfig.cmake" -B "$work/out") >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log" >&2; exit 1; }
deb=$(ls "$work"/out/lfqutil_*.deb)
# A package removed earlier may linger as "deinstall ok config-files" (its postrm still to run on purge): only a
# package that is really installed is the user's, and left alone.
if [ "$(dpkg-query -W -f='${Status}' lfqutil 2>/dev/null)" = "install ok installed" ]; then
  echo "check-deb-install: skipped: lfqutil is installed on this machine already, and is not ours to replace" >&2
  exit 0
fi
apt-get install -y -q "$deb" >"$work/apt.log" 2>&1 || { cat "$work/apt.log" >&2; exit 1; }
status=0
[ "$(/usr/bin/lfqutil --version)" = 4.2.2.0 ] || { echo "installed lfqutil --version is wrong" >&2; status=1; }
/usr/bin/lfqutil MAKE SEQ assets/demo/demo.seq VH assets/demo/demo.vh VB assets/demo/demo.vb OUT "$work/demo.psf" ||
  status=1
[ "$(head -c 3 "$work/demo.psf" 2>/dev/null)" = PSF ] || { echo "installed lfqutil wrote no PSF" >&2; status=1; }
set +e
xvfb-run -a env -u QT_QPA_PLATFORM timeout 3 /usr/bin/lfqutil 2>"$work/window.err"
window=$?
set -e
[ $window -eq 124 ] || { echo "installed window did not open ($window): $(cat "$work/window.err")" >&2; status=1; }
apt-get purge -y -q lfqutil >"$work/apt.log" 2>&1 || { cat "$work/apt.log" >&2; status=1; }
[ $status -eq 0 ] && echo "check-deb-install: $(basename "$deb") installs, builds the demo and opens its window"
exit $status
