#!/usr/bin/env bash
# The Debian package from an already built tree: cpack makes the .deb,
# lintian finds no error in it, dpkg installs it into this machine, the
# installed program shows its version and rectifies the sample photograph
# through /usr/bin/fassadenplan, the
# installed desktop files validate, then the package is purged and nothing of
# it may be left behind. Needs root (CI runs as root on a throwaway machine)
# and skips with a message otherwise.
#   tools/package-test.sh [BUILD_DIR]      (default build/ci, already built)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "${1:-$root/build/ci}" && pwd)"
photo="$root/samples/sudoku.png"
corners=(72 84 492 69 520 521 35 517)

if [[ $(id -u) -ne 0 ]]; then
  echo "package test skipped: installing a package with dpkg needs root"
  exit 0
fi
fail() { echo "FAIL: $*"; exit 1; }

status="$(dpkg-query -W -f='${db:Status-Abbrev}' fassadenplan 2>/dev/null || true)"
if [[ -n "$status" && "$status" != un* ]]; then
  fail "a fassadenplan package is already on this machine ($status); the test installs and purges its own"
fi

work="$(mktemp -d)"
installed=0
cleanup() {
  if ((installed)); then dpkg --purge fassadenplan >/dev/null 2>&1 || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

echo "-- cpack in $build"
rm -rf "$build/package"
(cd "$build" && cpack -G DEB) >"$work/cpack.log" 2>&1 || { cat "$work/cpack.log"; fail "cpack"; }
debs=("$build"/package/fassadenplan_*.deb)
[[ ${#debs[@]} -eq 1 && -f "${debs[0]}" ]] || fail "cpack made no single .deb: ${debs[*]}"
deb="${debs[0]}"
version="$(dpkg-deb -f "$deb" Version)"
upstream="${version%-*}" # without the Debian revision
echo "$(basename "$deb"): Depends: $(dpkg-deb -f "$deb" Depends)"

echo "-- lintian"
command -v lintian >/dev/null || fail "lintian is missing: bash tools/deps.sh --test"
lintian --fail-on error "$deb" || fail "lintian reports errors in $(basename "$deb")"
contents="$(dpkg-deb -c "$deb")"
for f in copyright changelog.Debian.gz; do
  grep -q "/usr/share/doc/fassadenplan/$f\$" <<<"$contents" || fail "the package has no $f"
done

# The package's paths, and which of them this machine had before (shared
# folders such as /usr/share/icons/hicolor stay; everything else must go).
dpkg-deb -c "$deb" | awk '{ print $6 }' | sed 's|^\./|/|; s|/$||' | grep -v '^$' >"$work/paths"
: >"$work/new-paths"
while read -r p; do
  [[ -e "$p" || -L "$p" ]] || echo "$p" >>"$work/new-paths"
done <"$work/paths"

echo "-- dpkg -i"
installed=1
dpkg -i "$deb" >"$work/dpkg-i.log" 2>&1 || { cat "$work/dpkg-i.log"; fail "dpkg -i (missing dependencies? bash tools/deps.sh --test)"; }

[[ "$(readlink -f /usr/bin/fassadenplan)" == /usr/lib/fassadenplan/fassadenplan ]] ||
  fail "/usr/bin/fassadenplan does not lead to /usr/lib/fassadenplan/fassadenplan"
[[ "$(command -v fassadenplan)" == /usr/bin/fassadenplan ]] ||
  fail "fassadenplan on the PATH is $(command -v fassadenplan)"

# From a folder of its own, with a home of its own and no display.
mkdir -p "$work/run" "$work/home"
run() {
  (cd "$work/run" && env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM \
    HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" "$@")
}
got="$(run fassadenplan --version)"
[[ "$got" == "Fassadenplan $upstream" ]] || fail "fassadenplan --version says '$got', the package is $version"
echo "$got"

out="$(run fassadenplan "$photo" "${corners[@]}" "$work/run/sudoku.bmp" 100 100)" ||
  fail "the installed batch mode ended with exit code $?"
echo "$out"
# The size it reports is the size of the written image (BMP header: width
# and height as 32-bit little-endian numbers at bytes 18 and 22).
read -r w h < <(od -An -tu4 -j18 -N8 --endian=little "$work/run/sudoku.bmp")
[[ "$out" == *"($w x $h pixels)"* && $w -gt 100 && $h -gt 100 ]] ||
  fail "the result is $w x $h pixels, the program said: $out"
# And it is exactly what the tested program of the build tree makes.
env -u DISPLAY -u WAYLAND_DISPLAY HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" \
  "$build/app/fassadenplan" "$photo" "${corners[@]}" "$work/built.bmp" 100 100 >/dev/null
cmp "$work/run/sudoku.bmp" "$work/built.bmp" || fail "the installed program rectifies differently"
leftovers="$(find "$work/home" -mindepth 1)"
[[ -z "$leftovers" ]] || fail "the batch mode wrote into the home folder: $leftovers"

desktop-file-validate /usr/share/applications/fassadenplan.desktop || fail "installed desktop entry"
appstreamcli validate --no-net --pedantic /usr/share/metainfo/de.velkor.fassadenplan.metainfo.xml >/dev/null ||
  fail "installed metainfo"
if [[ ! -f /usr/share/man/man1/fassadenplan.1.gz ]] &&
  grep -qs 'path-exclude.*/usr/share/man' /etc/dpkg/dpkg.cfg.d/*; then
  echo "manual page not checked: dpkg leaves out /usr/share/man on this machine"
else
  manpage="$(man -w fassadenplan)" || fail "man does not find the manual page"
  warnings="$(MANWIDTH=80 man --warnings -l "$manpage" 2>&1 >/dev/null)"
  [[ -z "$warnings" ]] || fail "man -l warns: $warnings"
fi

echo "-- dpkg --purge"
dpkg --purge fassadenplan >"$work/dpkg-purge.log" 2>&1 || { cat "$work/dpkg-purge.log"; fail "dpkg --purge"; }
installed=0
status="$(dpkg-query -W -f='${db:Status-Abbrev}' fassadenplan 2>/dev/null || true)"
[[ -z "$status" || "$status" == un* ]] || fail "the package is still known to dpkg: $status"
left=0
while read -r p; do
  if [[ -e "$p" || -L "$p" ]]; then echo "left behind: $p"; left=1; fi
done <"$work/new-paths"
((left == 0)) || fail "the purged package left files behind"
[[ ! -e /usr/lib/fassadenplan ]] || fail "/usr/lib/fassadenplan is still there"
echo "package $version installed, rectified $(basename "$photo") from /usr/bin and purged without a trace"
