#!/usr/bin/env bash
# Builds the Debian package of a build tree and checks it as a new user's
# machine would see it:
#   - its Depends name the package of every shared library the executable needs;
#   - unpacked into a fresh root (dpkg -x), it holds every file of the install;
#   - the installed executable converts examples/ to PNG, and prints its version;
#   - the manual page renders without warnings, the completion completes,
#     the desktop entry is valid.
# Usage: scripts/check_package.sh BUILD_DIR [CPACK]   (run as the ctest "package")
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "$1" && pwd)"
cpack=${2:-cpack}
work="$build/package-check"
rm -rf "$work"
mkdir -p "$work"
fail() { echo "check_package: $*" >&2; exit 1; }

# The package, made in a folder of its own.
(cd "$build" && "$cpack" -G DEB -B "$work/cpack") >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log" >&2; fail "cpack failed"; }
debs=("$work"/cpack/pixlane_*.deb)
[ -f "${debs[0]}" ] || fail "no pixlane_*.deb in $work/cpack"
deb=${debs[0]}
[ "$(dpkg-deb -f "$deb" Package)" = pixlane ] || fail "package name"
depends=$(dpkg-deb -f "$deb" Depends)
[ -n "$depends" ] || fail "the package has no Depends"

root="$work/root"
dpkg-deb -x "$deb" "$root"
exe="$root/usr/bin/pixlane"

# Every library the executable and its window module need belongs to a
# package named in Depends.
module="$root/usr/lib/pixlane/pixlane-window.so"
[ -f "$module" ] || fail "no window module $module"
needed=$(readelf -d "$exe" "$module" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p' | sort -u)
[ -n "$needed" ] || fail "no NEEDED entries in $exe"
for lib in $needed; do
  # awk reads to the end: an early exit would end ldconfig with SIGPIPE under pipefail
  path=$(ldconfig -p | awk -v lib="$lib" '$1 == lib && !found { print $NF; found = 1 }')
  [ -n "$path" ] || fail "$lib is not known to ldconfig"
  # dpkg knows the path as the package has it, the link or the file it names.
  owner=
  for candidate in "$path" "$(readlink -f "$path")" "${path#/usr}" "/usr${path#/usr}"; do
    owner=$(dpkg -S "$candidate" 2>/dev/null | head -n1 | cut -d: -f1 || true)
    [ -z "$owner" ] || break
  done
  [ -n "$owner" ] || fail "no package owns $path"
  case ", $depends," in
    *", $owner "*|*", $owner,"*) ;;
    *) fail "$lib comes from $owner, which Depends does not name: $depends" ;;
  esac
done

# The install tree: the program, its data, translations, manual, completion,
# desktop entry, icons and licence notes.
expected=(
  usr/bin/pixlane
  usr/lib/pixlane/pixlane-window.so
  usr/share/pixlane/gfx/handdrawn.zip
  usr/share/man/man1/pixlane.1.gz
  usr/share/bash-completion/completions/pixlane
  usr/share/applications/pixlane.desktop
  usr/share/icons/hicolor/scalable/apps/pixlane.svg
  usr/share/doc/pixlane/copyright
  usr/share/doc/pixlane/ARTWORK.md
  usr/share/doc/pixlane/manual/index.html
)
for icon in "$here"/gfx/icon/pixlane_*.png; do
  size=${icon##*_}; size=${size%.png}
  expected+=("usr/share/icons/hicolor/${size}x${size}/apps/pixlane.png")
done
# A catalogue per translation, where the installed window looks for them.
for po in "$here"/po/*.po; do
  lang=$(basename "$po" .po)
  expected+=("usr/share/locale/$lang/LC_MESSAGES/pixlane.mo")
done
[ -f "$build/pixlane.chm" ] && expected+=(usr/share/pixlane/pixlane.chm)
for file in "${expected[@]}"; do
  [ -f "$root/$file" ] || fail "the package lacks $file"
done
[ -x "$exe" ] || fail "$exe is not executable"

# The installed program on the examples, with its own lock and settings folders.
export XDG_RUNTIME_DIR="$work/runtime" XDG_CONFIG_HOME="$work/config"
mkdir -p -m 700 "$XDG_RUNTIME_DIR"
unset DISPLAY WAYLAND_DISPLAY
version=$("$exe" --version)
[ "$(head -n1 <<<"$version")" = "2.8" ] || fail "--version: $version"
# The window starts from the installed module: without a display it is the
# module that says so.
window_said=$("$exe" 2>&1 >/dev/null || true)
case "$window_said" in
  *"no display to open the window on"*) ;;
  *) fail "the installed window does not start: $window_said" ;;
esac
out="$work/out"
mkdir -p "$out"
"$exe" -q -i "$here/examples/" -o "$out" -c png || fail "the conversion ended with status $?"
got=$(cd "$out" && find . -type f | sort | tr '\n' ' ')
want="./anim[1].png ./anim[2].png ./anim[3].png ./anim[4].png ./nested/badge.png ./still.png "
[ "$got" = "$want" ] || fail "converted files: $got (expected $want)"
for png in "$out"/*.png "$out"/nested/*.png; do
  [ "$(head -c 8 "$png" | od -An -tx1 | tr -d ' \n')" = 89504e470d0a1a0a ] || fail "$png is no PNG"
done

# The manual page renders, without warnings, and documents the options.
page="$root/usr/share/man/man1/pixlane.1.gz"
LC_ALL=C MANWIDTH=80 man --warnings -l "$page" >"$work/man.txt" 2>"$work/man.err" ||
  fail "man -l failed: $(cat "$work/man.err")"
[ ! -s "$work/man.err" ] || fail "man -l warns: $(cat "$work/man.err")"
grep -q -- '--max-output-mb=NUM' "$work/man.txt" || fail "the manual page lacks --max-output-mb"

# The completion completes an option and a keyword value.
answer=$(bash -c 'source "$1"; compopt() { :; }
  COMP_WORDS=(pixlane --max-fr); COMP_CWORD=1; _pixlane; echo "${COMPREPLY[*]}"
  COMP_WORDS=(pixlane --jpg-chroma = h); COMP_CWORD=3; _pixlane; echo "${COMPREPLY[*]}"' \
  _ "$root/usr/share/bash-completion/completions/pixlane")
[ "$answer" = $'--max-frames=\nhigh' ] || fail "completion answered: $answer"

if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$root/usr/share/applications/pixlane.desktop" || fail "desktop entry"
fi
echo "check_package: $(basename "$deb") ($(du -k "$deb" | cut -f1) KiB) checked; Depends: $depends"
