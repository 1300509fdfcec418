#!/bin/sh
# Renders screenshots of the main window, its menus and the builder dialog into docs/ (PNG) on a virtual
# X display with a small window manager, so the window frames show as on a desktop.
# Usage: tools/screenshots.sh [build-dir]   (default build/screenshots)
set -e
cd "$(dirname "$0")/.."
build=${1:-build/screenshots}
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake --preset default -B "$build" >/dev/null
fi
cmake --build "$build" --target ui_screenshots -j2
mkdir -p docs
config=$(mktemp -d)
trap 'rm -rf "$config"' EXIT
# A clean desktop: no user settings, Qt's own look, a fixed resolution.
export XDG_CONFIG_HOME="$config" XDG_RUNTIME_DIR="$config" QT_QPA_PLATFORM=xcb
unset QT_QPA_PLATFORMTHEME QT_STYLE_OVERRIDE QT_SCALE_FACTOR
wm=""
if command -v openbox >/dev/null 2>&1; then
  wm="openbox"
else
  echo "screenshots.sh: openbox not found; the windows are shown without frames" >&2
fi
xvfb-run -a -s "-screen 0 1024x768x24 -dpi 96" sh -c "
  if [ -n '$wm' ]; then $wm >/dev/null 2>&1 & sleep 1; fi
  '$build/tests/ui_qt/ui_screenshots' docs
"
