#!/usr/bin/env bash
# Takes the README screenshot of the main window on a virtual display:
# builds, then runs the window test that shows the window with the sample
# GIFs dropped into its list, and keeps its picture as docs/screenshot.png.
#   scripts/screenshot.sh [OUTPUT.png]
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
out=${1:-"$here/docs/screenshot.png"}
mkdir -p "$(dirname "$out")"
"$here/scripts/build.sh" "$here/build" >&2
NO_AT_BRIDGE=1 GDK_BACKEND=x11 PIXLANE_SCREENSHOT="$out" \
  xvfb-run -a -s "-screen 0 1280x1024x24" \
  "$here/build/tests/pixlane_window_tests" --gtest_filter='MainWindowTest.ScreenshotShowsTheConvertImageAndTheList'
echo "screenshot.sh: wrote $out"
