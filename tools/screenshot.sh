#!/usr/bin/env bash
# Builds the program, starts it on a virtual display with the sample
# photograph and its four corners set, and saves a picture of the screen as
# docs/screenshot.png.
#   BUILD_DIR  build folder (default build/release, configured when missing)
set -euo pipefail
cd "$(dirname "$0")/.."
build="${BUILD_DIR:-build/release}"
if [[ ! -f "$build/build.ninja" && ! -f "$build/Makefile" ]]; then
  if [[ "$build" == "build/release" ]]; then
    cmake --preset release
  else
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release
  fi
fi
cmake --build "$build" --target fassadenplan -j2

# A private configuration folder: the run neither reads nor changes the
# user's settings. The views start at 60 %.
cfg="$(mktemp -d)"
trap 'rm -rf "$cfg"' EXIT
mkdir -p "$cfg/Velkor"
printf '[TMainForm]\nFormVersion=0\nZoomEd_Value=60\n' > "$cfg/Velkor/fassadenplan.ini"

out="$PWD/docs/screenshot.png"
mkdir -p docs
export XDG_CONFIG_HOME="$cfg"
xvfb-run -a -s "-screen 0 1280x900x24" bash -c '
  "$1" samples/sudoku.png --demo-corners 72,84,492,69,520,521,35,517 &
  pid=$!
  # The fourth corner presets the width; the image follows one second later.
  sleep "${SCREENSHOT_DELAY:-6}"
  import -window root "$2"
  kill "$pid"
  wait "$pid" || true
' _ "$PWD/$build/app/fassadenplan" "$out"
# Only the window: the rest of the virtual screen is black.
convert "$out" -trim +repage "$out"
echo "wrote $out"
