#!/usr/bin/env bash
# Installs the Debian 12 packages that Fassadenplan needs to build and run.
# With --test also what the tests and benchmarks use: the peer library the
# benchmarks compare against, the independent image and drawing tools the
# tests read the results with, the validators of the desktop files and the
# manual page, and what the package test needs.
set -euo pipefail
pkgs=(g++ cmake ninja-build pkg-config git
      qt6-base-dev qt6-image-formats-plugins qt6-translations-l10n libgl-dev
      libturbojpeg0-dev libjpeg62-turbo-dev libopenjp2-7-dev libgif-dev libexiv2-dev libpng-dev zlib1g-dev libtiff-dev
      liblensfun-dev liblensfun-data-v1
      libgtest-dev libgmock-dev libbenchmark-dev)
if [[ "${1:-}" == "--test" ]]; then
  # OpenCV, the peer two benchmarks measure against (never linked by the program).
  pkgs+=(libopencv-dev python3-opencv)
  # Image and drawing tools the results are checked with, the format check,
  # and a display for LibreCAD.
  pkgs+=(netpbm imagemagick libopenjp2-tools webp clang-format xvfb xauth
        python3-ezdxf librecad
        # Readers of the written scale and placement: EXIF, JFIF and JPEG 2000
        # resolution (exiftool, Pillow, img2pdf read back with poppler), world
        # files (GDAL); the package checker; gettext's tools for the PO files.
        libimage-exiftool-perl python3-pil img2pdf poppler-utils gdal-bin lintian
        gettext)
  # GNU parallel runs the slices of a manifest in the many-machines test.
  pkgs+=(parallel)
  # The compiler cache CI keeps between its runs on one machine.
  pkgs+=(ccache)
  # clang with libFuzzer and its sanitizers: the clang build and the fuzz targets.
  pkgs+=(clang libclang-rt-14-dev)
  # Validators of the desktop files and the manual page, the icon renderer,
  # and dpkg-shlibdeps for the package test.
  pkgs+=(desktop-file-utils appstream groff-base man-db librsvg2-bin dpkg-dev)
fi
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  SUDO=""; [[ $(id -u) -ne 0 ]] && SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
