#!/usr/bin/env bash
# Installs what is missing, builds into build/ and starts the calculator. The program runs in
# the folder you started this script from, so Model.prt lands there.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
build="$here/build"

stage() { echo "==> $*"; }

stage "Checking the Debian packages of scripts/packages.txt (installs those missing)"
"$here/scripts/deps.sh"

# The three programs only: ./test.sh builds the tests and the benchmarks.
programs=(veltrane veltrane-calc veltrane-fit)
if [[ ! -f "$build/CMakeCache.txt" ]]; then
  stage "First run: configuring and building the three programs (${programs[*]}), not the"
  echo "    tests or the benchmarks (./test.sh builds those). This takes a few minutes on a small"
  echo "    machine; later runs rebuild only what changed."
fi
stage "Configuring the build in $build"
mkdir -p "$build"
if ! cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >"$build/configure.log" 2>&1; then
  cat "$build/configure.log"
  exit 1
fi
stage "Building ${programs[*]} ($(nproc) jobs)"
cmake --build "$build" --parallel "$(nproc)" --target "${programs[@]}"

if [[ -x "$build/bin/veltrane" && ( -n "${DISPLAY:-}" || -n "${WAYLAND_DISPLAY:-}" ) ]]; then
  stage "Starting the Veltrane window in $PWD (the report Model.prt is written here)"
  exec "$build/bin/veltrane" "$@"
fi

if [[ -x "$build/bin/veltrane" ]]; then
  echo "No display found: the Veltrane window needs an X11 or Wayland display."
  echo "To run it under a virtual display:  xvfb-run -a $build/bin/veltrane"
  echo
fi
echo "The calculation through veltrane-calc, on the example of the README"
echo "(RL 2.0, F1 Inductive, F2 Capacitive, Parallel/Series):"
echo
"$build/bin/veltrane-calc" --rl 2.0 --f1-crossover inductive --f2-crossover capacitive \
  --topology parallel-series --no-report
