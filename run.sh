#!/usr/bin/env bash
# Installs what is missing, builds, and runs pixlane with the given arguments.
#   ./run.sh -i examples/ -o /tmp/pixlane-out -c png
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
"$here/scripts/deps.sh"
"$here/scripts/build.sh" "$here/build" >&2
exec "$here/build/pixlane" "$@"
