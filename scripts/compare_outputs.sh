#!/usr/bin/env bash
# Runs two builds of pixlane over the same inputs under many option sets,
# with one worker and with two, and compares what each run leaves: the
# output files byte for byte, the exit status and the console lines.
# Usage: scripts/compare_outputs.sh REFERENCE-PIXLANE NEW-PIXLANE [INPUT-FOLDER]
# Prints one line per difference and "N option sets, M runs: identical" or
# fails.
set -euo pipefail
ref=$1 new=$2
here="$(cd "$(dirname "$0")/.." && pwd)"
work=$(mktemp -d "${TMPDIR:-/tmp}/pixlane-compare.XXXXXX")
trap 'rm -rf "$work"' EXIT
input=${3:-}
if [ -z "$input" ]; then
  input="$work/in"
  mkdir -p "$input/sub"
  cp -r "$here/examples/." "$input/"
  rm -f "$input/make_examples.cpp"
  cp "$here/examples/anim.gif" "$input/sub/again.gif"
  head -c 300 "$here/examples/anim.gif" >"$input/cut.gif"   # truncated
  printf 'not a picture' >"$input/text.gif"
fi

sets=(
  "-c png"
  "-c png --png-compression=zlib6 --png-palette=exact"
  "-c png --png-bpp=8"
  "-c png --png-bpp=1"
  "-c bmp --bmp-bpp=8 --bmp-color-table=exact"
  "-c bmp --width=50 --width-unit=percent --height=50 --height-unit=percent"
  "-c jpg --rotation=33 --background=000000"
  "-c jpg --jpg-bpp=8 --jpg-quality=60"
  "-c ico"
  "-c ico --ico-bpp=4"
  "-c gif --greyscale"
  "-c pgm --threshold=128"
  "-c tiff --tiff-bpp=1"
  "-c tga --tga-bpp=16 --flip-horizontal"
  "-c xpm --rotation=90"
  "-c pcx --brightness=20 --contrast=-10"
  "-c psd"
  "-c dds"
  "-c pfm"
  "-c jxr"
  "-c webp --webp-quality=80"
  "-c ppm --invert --gamma=1.5"
  "-c pbm --dither=bayer8"
  "-c png --filename-mask=%filename%-%n%-%rnd%.%ext%"
  "-c png --filename-mask=%filename%_%frame%of%frames%_%width%x%height%_%bpp%.%ext%"
  "-c png --gif-frame-loading=middle"
  "-c png --gif-frame-loading=random"
  "-c png --gif-frame-loading=last --filename-mask=same.%ext%"
  "-c png --fr-solid-left=5 --fr-solid-top=3 --fr-solid-left-color=FF0000"
  "-c png --wm-text=%filename%-%n%-%width% --wm-text-position=bottomright"
  "-c jpg --wm-text=Hello --wm-font-size=20 --wm-text-antialiasing"
  "-c png --max-frames=3"
  "-c png --max-megapixels=0 --max-output-mb=1"
  "-c png --overwrite=skip"
  "-c png --overwrite=rename"
  "-c png --dry-run"
  "-c png --dry-run --overwrite=rename --filename-mask=x.%ext%"
  "-c png -d"
)

status=0
runs=0
run_one() { # exe label options… ; leaves out/, stdout, stderr and status in $work/$label
  local exe=$1 label=$2; shift 2
  local dir="$work/$label"
  rm -rf "$dir"; mkdir -p "$dir/out"
  # A second pass over the same folder shows what the overwrite policies do.
  local rc=0
  for pass in 1 2; do
    (cd "$dir" && PIXLANE_RANDOM_SEED=7 "$exe" -i "$input" -o "$dir/out" "$@" \
        --report="$dir/report-$pass.csv" >"$dir/stdout-$pass" 2>"$dir/stderr-$pass") || rc=$?
    echo "$rc" >"$dir/status-$pass"
    rc=0
  done
  # Paths and timings differ between the two runs by their folder only.
  for f in "$dir"/stdout-* "$dir"/stderr-* "$dir"/report-*.csv; do
    [ -f "$f" ] || continue
    sed -i -e "s#$dir#DIR#g" -e 's/,[0-9]*$/,MS/' -e 's/^\(.*"ms": \)[0-9]*/\1MS/' "$f"
  done
  (cd "$dir/out" && find . -type f -print0 | sort -z | xargs -0 -r sha256sum) >"$dir/outputs"
}

for set in "${sets[@]}"; do
  for jobs in 1 2; do
    # shellcheck disable=SC2086
    run_one "$ref" ref $set --jobs=$jobs
    # shellcheck disable=SC2086
    run_one "$new" new $set --jobs=$jobs
    runs=$((runs + 1))
    for f in outputs status-1 status-2 stdout-1 stdout-2 stderr-1 stderr-2 report-1.csv report-2.csv; do
      if [ -f "$work/ref/$f" ] || [ -f "$work/new/$f" ]; then
        if ! cmp -s "$work/ref/$f" "$work/new/$f"; then
          echo "differs: $set --jobs=$jobs: $f"
          diff "$work/ref/$f" "$work/new/$f" | head -8 || true
          status=1
        fi
      fi
    done
  done
done
if [ $status -eq 0 ]; then
  echo "${#sets[@]} option sets, $runs runs: identical"
fi
exit $status
