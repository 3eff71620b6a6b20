#!/usr/bin/env bash
# Installs the build with `cmake --install` into a temporary prefix and checks
# the tree: the program and its dictionary together in lib/fassadenplan/, the
# relative link bin/fassadenplan, the desktop files, the icons and the
# manual page. Then the program runs through the link and rectifies the
# sample photograph exactly as the program of the build folder does.
#   installed-tree.sh BUILD_DIR BUILD_PROGRAM PHOTOGRAPH
set -euo pipefail
build="$(readlink -f "$1")" built="$(readlink -f "$2")" photo="$(readlink -f "$3")"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
prefix="$work/root/usr"
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config"
mkdir -p "$HOME"
unset DISPLAY WAYLAND_DISPLAY

fail() { echo "FAIL: $*"; exit 1; }

cmake --install "$build" --prefix "$prefix" >"$work/install.log" || { cat "$work/install.log"; fail "cmake --install"; }

prog="$prefix/lib/fassadenplan/fassadenplan"
[[ -x "$prog" && ! -L "$prog" ]] || fail "no program file at $prog"
[[ -L "$prefix/bin/fassadenplan" ]] || fail "bin/fassadenplan is not a symbolic link"
[[ "$(readlink "$prefix/bin/fassadenplan")" == "../lib/fassadenplan/fassadenplan" ]] ||
  fail "bin/fassadenplan points to $(readlink "$prefix/bin/fassadenplan")"
[[ "$(readlink -f "$prefix/bin/fassadenplan")" == "$(readlink -f "$prog")" ]] ||
  fail "bin/fassadenplan does not reach the program"

# The dictionary travels with the program wherever the build makes one.
if [[ -f "$(dirname "$built")/translate.dat" ]]; then
  cmp "$(dirname "$built")/translate.dat" "$prefix/lib/fassadenplan/translate.dat" ||
    fail "translate.dat is not installed beside the program"
fi

for f in share/applications/fassadenplan.desktop \
         share/metainfo/de.velkor.fassadenplan.metainfo.xml \
         share/icons/hicolor/scalable/apps/fassadenplan.svg \
         share/man/man1/fassadenplan.1.gz; do
  [[ -f "$prefix/$f" ]] || fail "missing $f"
done
for n in 16 22 24 32 48 64 128 256; do
  png="$prefix/share/icons/hicolor/${n}x${n}/apps/fassadenplan.png"
  [[ -f "$png" ]] || fail "missing icon ${n}x${n}"
  # PNG width and height are bytes 16..23 of the file, big-endian.
  read -r w h < <(od -An -tu1 -j16 -N8 "$png" |
    awk '{ print $1*16777216 + $2*65536 + $3*256 + $4, $5*16777216 + $6*65536 + $7*256 + $8 }')
  [[ "$w $h" == "$n $n" ]] || fail "icon ${n}x${n} is $w x $h"
done
# The metainfo together with the desktop entry and the icon it refers to.
appstreamcli validate-tree --no-net --pedantic "$work/root" >"$work/validate.log" 2>&1 ||
  { cat "$work/validate.log"; fail "appstreamcli validate-tree"; }
gzip -t "$prefix/share/man/man1/fassadenplan.1.gz" || fail "manual page is no gzip file"
zcat "$prefix/share/man/man1/fassadenplan.1.gz" | grep -q '^\.TH FASSADENPLAN 1' ||
  fail "manual page is not the program's"

# Through the link, from another folder.
cd "$work"
version="$("$prefix/bin/fassadenplan" --version)"
[[ "$version" == "$("$built" --version)" ]] || fail "--version says '$version'"
grep -q "<release version=\"${version#Fassadenplan }\"" \
  "$prefix/share/metainfo/de.velkor.fassadenplan.metainfo.xml" ||
  fail "the metainfo has no release ${version#Fassadenplan }"

corners=(72 84 492 69 520 521 35 517)
"$prefix/bin/fassadenplan" "$photo" "${corners[@]}" "$work/installed.bmp" 100 100 ||
  fail "the installed program's batch mode ended with $?"
"$built" "$photo" "${corners[@]}" "$work/built.bmp" 100 100 >/dev/null
cmp "$work/installed.bmp" "$work/built.bmp" || fail "the installed program rectifies differently"
echo "installed tree complete; $version rectified $(basename "$photo") through bin/fassadenplan"
