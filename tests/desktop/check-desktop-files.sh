#!/usr/bin/env bash
# Checks of the desktop files and the manual page; each fails on any finding,
# however small, so that the files stay clean.
#   desktop-entry FILE        desktop-file-validate
#   metainfo FILE [VERSION]   appstreamcli validate --no-net --pedantic, and
#                             the newest release is VERSION (the project's)
#   manual-page FILE          groff -ww -man renders it without a warning
#   manual-covers-help FILE PROGRAM
#                             every option, output extension and exit code
#                             that PROGRAM --help names is in the manual page,
#                             and the version that --version prints
set -euo pipefail

need() {
  command -v "$1" >/dev/null || { echo "$1 is missing: bash tools/deps.sh --test"; exit 1; }
}

case "$1" in
desktop-entry)
  need desktop-file-validate
  out="$(desktop-file-validate "$2" 2>&1)" || { echo "$out"; exit 1; }
  [[ -z "$out" ]] || { echo "$out"; exit 1; }
  echo "desktop entry valid: $2"
  ;;
metainfo)
  need appstreamcli
  out="$(appstreamcli validate --no-net --pedantic --no-color "$2" 2>&1)" || { echo "$out"; exit 1; }
  echo "$out"
  if grep -Eq '^[EWIP]: ' <<<"$out"; then
    echo "the metainfo has findings"; exit 1
  fi
  if [[ -n "${3:-}" ]]; then
    newest="$(grep -oE '<release version="[^"]+"' "$2" | head -n1 | cut -d'"' -f2)"
    [[ "$newest" == "$3" ]] || { echo "the newest release is $newest, the project is $3"; exit 1; }
  fi
  ;;
manual-page)
  need groff
  out="$(groff -ww -man -Tutf8 -z "$2" 2>&1)" || { echo "$out"; exit 1; }
  [[ -z "$out" ]] || { echo "$out"; exit 1; }
  echo "manual page renders without warnings: $2"
  ;;
manual-covers-help)
  need groff
  page="$(groff -man -Tascii -P-c -P-b -P-o -P-u "$2" 2>/dev/null)"
  help="$(QT_QPA_PLATFORM=offscreen "$3" --help)"
  missing=0
  # Options (--help, --version, --demo-corners, ...).
  for opt in $(grep -oE -- '--[a-z][a-z-]*' <<<"$help" | sort -u); do
    grep -qF -- "$opt" <<<"$page" || { echo "option $opt is not in the manual page"; missing=1; }
  done
  # Output extensions of the batch mode.
  for ext in $(grep -oE '(^|[ (])\.[a-z0-9]{3,4}\b' <<<"$help" | tr -d ' (' | sort -u); do
    grep -qF -- "$ext" <<<"$page" || { echo "extension $ext is not in the manual page"; missing=1; }
  done
  # Exit codes: the lines "  N  text" after "Exit codes:".
  status="$(sed -n '/^EXIT STATUS/,/^[A-Z]/p' <<<"$page")"
  for code in $(sed -n '/^Exit codes:/,/^[^ ]/p' <<<"$help" | grep -oE '^  [0-9]+ ' | tr -d ' '); do
    grep -qE "^ +$code( |$)" <<<"$status" || { echo "exit code $code is not in EXIT STATUS"; missing=1; }
  done
  # The version in the page's footer.
  version="$(QT_QPA_PLATFORM=offscreen "$3" --version)"
  grep -qF "$version" <<<"$page" || { echo "the manual page is not of $version"; missing=1; }
  exit "$missing"
  ;;
*)
  echo "unknown check: $1"; exit 2
  ;;
esac
