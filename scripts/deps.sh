#!/usr/bin/env bash
# Installs the Debian packages Pixlane builds and tests with, when any is missing.
#   scripts/deps.sh [PACKAGE…]   those packages instead (scripts/bench_deps.sh)
# As root: apt-get update once, then a non-interactive install.
# Otherwise: prints the exact command to run and fails.
set -euo pipefail

PACKAGES=(
  build-essential cmake pkg-config clang clang-format ccache
  libfreeimage-dev libdevil-dev libjxr-dev libjxr-tools libarchive-dev zlib1g-dev
  libwebp-dev libpng-dev libjpeg-dev libdeflate-dev libcairo2-dev libpango1.0-dev libfontconfig-dev
  libwxgtk3.2-dev libgtk-3-dev libx11-dev libgtest-dev
  fonts-liberation fonts-dejavu-core xvfb xauth
  # msgfmt, which compiles the translations po/*.po; a font with Chinese and Japanese glyphs
  # for the layout test of those translations
  gettext fonts-wqy-microhei
  # the package check (ctest label package): cpack's dpkg-shlibdeps, man -l, the desktop entry
  dpkg-dev man-db groff-base desktop-file-utils
  # the animated outputs' tests and benchmark read and compare with these
  webp imagemagick gifsicle
  # the benchmark's floor: decoding with giflib
  libgif-dev
  # chmcmd, which compiles the user manual pixlane.chm (the build skips it when missing)
  fp-utils
  # ./test.sh --fuzz: libFuzzer and the sanitizer runtimes of clang
  libclang-rt-14-dev
  # the console tests: GNU parallel runs shards side by side; script(1) gives a terminal
  parallel bsdutils
  # scripts/make_images.sh: the public-domain icon library and its SVG renderer
  tango-icon-theme librsvg2-bin
)
if [ $# -gt 0 ]; then
  PACKAGES=("$@")
fi

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  echo "Missing packages. Run as root:" >&2
  echo "  apt-get update && DEBIAN_FRONTEND=noninteractive apt-get install -y ${missing[*]}" >&2
  exit 1
fi

export DEBIAN_FRONTEND=noninteractive
apt-get update -q
apt-get install -y -q --no-install-recommends "${missing[@]}"
