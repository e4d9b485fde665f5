#!/usr/bin/env bash
# Installs what is missing, builds into build/ and starts the calculator.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"
./scripts/deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --parallel "$(nproc)" >/dev/null

if [[ -x build/bin/veltrane && ( -n "${DISPLAY:-}" || -n "${WAYLAND_DISPLAY:-}" ) ]]; then
  exec build/bin/veltrane "$@"
fi

if [[ -x build/bin/veltrane ]]; then
  echo "No display found: the Veltrane window needs an X11 or Wayland display."
  echo "To run it under a virtual display:  xvfb-run -a build/bin/veltrane"
  echo
fi
echo "The calculation through veltrane-calc, on the example of the README"
echo "(RL 2.0, F1 Inductive, F2 Capacitive, Parallel/Series):"
echo
build/bin/veltrane-calc --rl 2.0 --f1-crossover inductive --f2-crossover capacitive \
  --topology parallel-series --no-report
