#!/usr/bin/env bash
# Runs a Windows program under wine: wine-run.sh PREFIX PROGRAM [ARGUMENT...]
# (wine-run.sh PREFIX alone only makes the prefix.)
# The wine prefix PREFIX is made on first use (once, also when several tests start together),
# without dialogs and without a display (wine-window-run.sh gives one); wine's own diagnostics are
# off so that the program's standard output and error are all there is. The command line and file
# names pass as UTF-8.
set -euo pipefail
if (($# < 1)); then
  echo "usage: wine-run.sh PREFIX PROGRAM [ARGUMENT...]" >&2
  exit 2
fi
prefix=$(realpath -m "$1")
shift

export WINEPREFIX=$prefix
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export LC_ALL=C.UTF-8
# No display, unless wine-window-run.sh gives one of its own.
if [[ -z ${WINE_RUN_KEEP_DISPLAY:-} ]]; then
  unset DISPLAY WAYLAND_DISPLAY
fi

if [[ ! -f $prefix/system.reg ]]; then
  mkdir -p "$(dirname "$prefix")"
  (
    flock 9
    if [[ ! -f $prefix/system.reg ]]; then
      wineboot --init >/dev/null 2>&1 || true
      wineserver --wait
      if [[ ! -f $prefix/system.reg ]]; then
        echo "wine-run.sh: could not make the wine prefix $prefix" >&2
        exit 1
      fi
    fi
  ) 9>"$prefix.lock"
fi
# Wine's own fonts (Tahoma and its bold, the dialog face every Windows has) where Debian's wine
# does not look for them: in the prefix's Fonts folder, as on Windows.
fonts=$prefix/drive_c/windows/Fonts
if [[ -d /usr/share/wine/fonts && -d $fonts && ! -f $fonts/tahomabd.ttf ]]; then
  cp -n /usr/share/wine/fonts/*.ttf "$fonts/" 2>/dev/null || true
fi
if (($# == 0)); then
  exit 0
fi
exec wine "$@"
