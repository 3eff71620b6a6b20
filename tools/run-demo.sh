#!/usr/bin/env bash
# The main job: with a display, start the window with the sample photograph
# opened (click its four corners to see it rectified); without one, rectify
# the same photograph in batch mode into sudoku-rectified.jpg.
#   BUILD_DIR  build folder (default build/release, configured when missing)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD_DIR:-$root/build/release}"
if [[ ! -f "$build/build.ninja" && ! -f "$build/Makefile" ]]; then
  (cd "$root" && cmake --preset release)
fi
cmake --build "$build" --target fassadenplan -j2
exe="$build/app/fassadenplan"
photo="$root/samples/sudoku.png"

if [[ -n "${DISPLAY:-}" || -n "${WAYLAND_DISPLAY:-}" ]]; then
  echo "Click the corners of the puzzle: top-left, top-right, bottom-right, bottom-left."
  exec "$exe" "$photo"
fi
echo "No display: rectifying $photo in batch mode."
"$exe" "$photo" 72 84 492 69 520 521 35 517 sudoku-rectified.jpg 100 100
echo "wrote $PWD/sudoku-rectified.jpg"
