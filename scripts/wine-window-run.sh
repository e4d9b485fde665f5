#!/usr/bin/env bash
# Runs a Windows program that opens windows under wine on a virtual display of its own:
# wine-window-run.sh PREFIX PROGRAM [ARGUMENT...]
# Xvfb serves the display; the wine prefix PREFIX should serve only programs started here, one
# at a time, since wine's desktop process keeps the display it was started with. Wine's server
# is stopped when the program ends, so that nothing outlives the display.
set -euo pipefail
if (($# < 2)); then
  echo "usage: wine-window-run.sh PREFIX PROGRAM [ARGUMENT...]" >&2
  exit 2
fi
for tool in xvfb-run Xvfb wineserver; do
  if ! command -v "$tool" >/dev/null; then
    echo "wine-window-run.sh: $tool is missing (scripts/deps.sh installs it)" >&2
    exit 1
  fi
done
here=$(dirname "$(realpath "${BASH_SOURCE[0]}")")
prefix=$(realpath -m "$1")
"$here/wine-run.sh" "$prefix"
export WINE_RUN_KEEP_DISPLAY=1
status=0
xvfb-run --auto-servernum --server-args="-screen 0 1280x1024x24" \
  bash -c '"$0" "$@"; status=$?; WINEPREFIX=$1 WINEDEBUG=-all wineserver --kill >/dev/null 2>&1; exit $status' \
  "$here/wine-run.sh" "$prefix" "${@:2}" || status=$?
exit "$status"
