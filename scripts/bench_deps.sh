#!/usr/bin/env bash
# Installs the other converters `batch_bench --peers` compares the batch with
# (GraphicsMagick, libvips' command-line tools, ffmpeg; ImageMagick 6 comes
# with scripts/deps.sh), when any is missing, as scripts/deps.sh installs.
# Only the benchmark needs them; the tests do not.
set -euo pipefail
exec "$(dirname "$0")/deps.sh" graphicsmagick libvips-tools ffmpeg
