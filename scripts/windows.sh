#!/usr/bin/env bash
# Cross-builds the core, the rf library, veltrane-calc, the native calculator window veltrane.exe
# and their tests for 64-bit Windows with mingw-w64 (linked statically: no DLLs to ship), makes
# the release archive dist/veltrane-VERSION-windows-x64.zip, and runs the tests under wine (the
# window's on a virtual display, through wine-window-run.sh).
# Usage: scripts/windows.sh [BUILD_FOLDER]   (default build-windows)
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
./scripts/deps.sh

build=${1:-build-windows}
jobs=$(nproc)
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi

export WINEPREFIX=$(realpath -m "$build")/wine-prefix
# Wine's server lingers a few seconds after the last program; stop it with the script.
trap 'WINEDEBUG=-all wineserver --kill >/dev/null 2>&1 || true' EXIT

start=$SECONDS
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELTRANE_BUILD_APP=OFF -DVELTRANE_BUILD_BENCH=OFF \
  "${launcher[@]}" >/dev/null
# What the cross build found comes from listed packages too.
scripts/check_packages.sh "$build"
# The prefix before the build: listing the tests after each link runs them under wine.
scripts/wine-run.sh "$WINEPREFIX"
cmake --build "$build" --parallel "$jobs"
built=$SECONDS
echo "windows.sh: configured and built in $((built - start)) s"

# Nothing beside the programs but Windows itself.
objdump=x86_64-w64-mingw32-objdump
for exe in "$build"/bin/*.exe; do
  foreign=$("$objdump" -p "$exe" | sed -n 's/^\s*DLL Name: //p' |
    grep -viE '^(kernel32|msvcrt|shell32|user32|gdi32|comctl32|uxtheme|advapi32|ws2_32|ntdll|api-ms-win-.*)\.dll$' || true)
  if [[ -n $foreign ]]; then
    echo "windows.sh: $exe needs DLLs that Windows does not have: $foreign" >&2
    exit 1
  fi
done

# The programs start on Windows Vista and later: marked so, and importing none of the functions
# of later Windows that the window uses (it looks them up when it runs).
for exe in "$build"/bin/veltrane.exe "$build"/bin/veltrane-calc.exe; do
  headers=$("$objdump" -p "$exe")
  if ! grep -qE '^MajorSubsystemVersion\s+6$' <<<"$headers" ||
    ! grep -qE '^MinorSubsystemVersion\s+0$' <<<"$headers"; then
    echo "windows.sh: $exe is not marked for Windows 6.0 (Vista)" >&2
    exit 1
  fi
  if grep -qwE 'GetDpiForWindow|AdjustWindowRectExForDpi|GetDpiForSystem|SetThreadDpiAwarenessContext' \
    <<<"$headers"; then
    echo "windows.sh: $exe imports a DPI function of Windows 10; look it up when the program runs" >&2
    exit 1
  fi
done

# The release archive the build made, in dist/ of the checkout.
mkdir -p dist
for archive in "$build"/dist/veltrane-*-windows-x64.zip; do
  cp "$archive" dist/
  echo "windows.sh: dist/$(basename "$archive"), $(stat -c %s "$archive") bytes"
done

# Wine itself now and then loses a program at its start ("wine client error: recvmsg:
# Connection reset by peer", when its server quits just as the next test starts): such a test is
# run once more. A test that fails twice fails the step.
ctest --test-dir "$build" --output-on-failure --parallel "$jobs" --repeat until-pass:2
echo "windows.sh: tests under wine in $((SECONDS - built)) s"
