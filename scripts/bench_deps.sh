#!/usr/bin/env bash
# Installs the other converters `batch_bench --peers` compares the batch with
# (GraphicsMagick, libvips' command-line tools, ffmpeg; ImageMagick 6 comes
# with scripts/deps.sh), when any is missing. Only the benchmark needs them;
# the tests do not.
# As root: apt-get update once, then a non-interactive install.
# Otherwise: prints the exact command to run and fails.
set -euo pipefail

PACKAGES=(graphicsmagick libvips-tools ffmpeg)

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
