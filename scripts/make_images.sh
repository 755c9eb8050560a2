#!/usr/bin/env bash
# Regenerates the committed artwork in gfx/ from the public-domain Tango icon
# library (Debian package tango-icon-theme) and gfx/about_banner.svg:
#   gfx/handdrawn/<key>_<size>.png   menu and toolbar icons at 16, 24, 32, 48, 64
#   gfx/handdrawn/button_<key>.png   button images (Convert 64, InFiles and InFolder 48)
#   gfx/about_banner.png             the About banner, 360 x 40
#   gfx/icon/pixlane_<size>.png      the program icon of the desktop entry
# 16, 24 and 32 pixels are Tango's hand-tuned bitmaps; 48 and 64 are drawn
# from its SVG sources with rsvg-convert (package librsvg2-bin).
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
tango=/usr/share/icons/Tango
out="$here/gfx/handdrawn"
for tool in rsvg-convert; do
  command -v "$tool" >/dev/null || { echo "make_images.sh: $tool is missing (scripts/deps.sh)" >&2; exit 1; }
done
[ -d "$tango" ] || { echo "make_images.sh: $tango is missing (scripts/deps.sh)" >&2; exit 1; }

# Icon key (lower case, as in theme.cfg) and the Tango picture drawn for it.
icons=(
  new:document-new add:list-add infiles:image-x-generic infolder:folder-open
  outfolder:folder-saved-search outformat:document-properties favfolder:folder
  importfiles:document-open exportfiles:document-save-as exit:system-log-out
  copy:edit-copy delete:edit-delete selectall:edit-select-all convert:view-refresh
  error:dialog-error preferences:preferences-system customconverter:system-search
  help:help-browser email:internet-mail web:internet-web-browser
  updates:system-software-update about:dialog-information
)
buttons=(convert:view-refresh:64 infiles:image-x-generic:48 infolder:folder-open:48)

svg_of() { find "$tango/scalable" -name "$1.svg" | head -n1; }
png_of() { find "$tango/$2x$2" -name "$1.png" | head -n1; }

rm -f "$out"/*.png
for pair in "${icons[@]}"; do
  key=${pair%%:*} name=${pair#*:}
  for size in 16 24 32; do
    cp "$(png_of "$name" "$size")" "$out/${key}_${size}.png"
  done
  for size in 48 64; do
    rsvg-convert -w "$size" -h "$size" "$(svg_of "$name")" -o "$out/${key}_${size}.png"
  done
done
for triple in "${buttons[@]}"; do
  IFS=: read -r key name size <<<"$triple"
  rsvg-convert -w "$size" -h "$size" "$(svg_of "$name")" -o "$out/button_${key}.png"
done
rsvg-convert -w 360 -h 40 "$here/gfx/about_banner.svg" -o "$here/gfx/about_banner.png"
# The install takes every gfx/icon/pixlane_<size>.png there is.
for size in 16 24 32 48 64 128 256; do
  rsvg-convert -w "$size" -h "$size" "$here/gfx/icon/pixlane.svg" -o "$here/gfx/icon/pixlane_${size}.png"
done
echo "make_images.sh: $(ls "$out"/*.png | wc -l) theme images, the About banner and the program icon written"
