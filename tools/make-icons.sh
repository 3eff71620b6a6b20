#!/usr/bin/env bash
# Renders the program icon data/icons/fassadenplan.svg into the PNG sizes of
# the window icon and the icon theme (data/icons/png/fassadenplan-N.png) with
# rsvg-convert (Debian package librsvg2-bin). Run it after editing the SVG and
# commit the PNGs with it.
#   --check DIR  render into DIR instead and fail when a committed PNG differs
#                in its pixels (colour and alpha) from the SVG's rendering;
#                compared with netpbm's pngtopnm
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
svg="$root/data/icons/fassadenplan.svg"
committed="$root/data/icons/png"
sizes=(16 22 24 32 48 64 128 256)

render() { # into folder $1
  mkdir -p "$1"
  for n in "${sizes[@]}"; do
    rsvg-convert --width "$n" --height "$n" --format png "$svg" -o "$1/fassadenplan-$n.png"
  done
}

if [[ "${1:-}" != "--check" ]]; then
  render "$committed"
  echo "rendered ${sizes[*]} into $committed"
  exit 0
fi

out="${2:?--check needs a folder to render into}"
render "$out"
bad=0
for n in "${sizes[@]}"; do
  have="$committed/fassadenplan-$n.png" want="$out/fassadenplan-$n.png"
  if [[ ! -f "$have" ]]; then
    echo "missing: $have (run tools/make-icons.sh)"; bad=1; continue
  fi
  for alpha in "" "-alpha"; do
    if ! cmp -s <(pngtopnm $alpha "$have" 2>/dev/null) <(pngtopnm $alpha "$want" 2>/dev/null); then
      echo "out of date: $have ${alpha:+(alpha)} differs from the SVG (run tools/make-icons.sh)"
      bad=1
    fi
  done
done
exit "$bad"
