#!/usr/bin/env bash
# Builds the libFuzzer targets with clang into build-fuzz/ and runs each for a bounded time on a
# copy of its seed corpus (fuzz/corpus/<target>/), so the repository is never modified.
# Usage: scripts/fuzz.sh [seconds per target, default 30] [target...]
# Exits non-zero when any target finds a crash or a failed check; the reproducer is left in
# build-fuzz/fuzz-artifacts/<target>/.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build="$root/build-fuzz"
seconds=${1:-30}
shift $(($# > 0 ? 1 : 0))
targets=("$@")
if ((${#targets[@]} == 0)); then
  targets=(fuzz_text_number fuzz_format_number fuzz_calculate fuzz_touchstone fuzz_measured fuzz_match
    fuzz_command_line fuzz_settings fuzz_amplifier)
fi

"$root/scripts/deps.sh"

# shellcheck source=clang.sh
source "$root/scripts/clang.sh"

cmake -S "$root" -B "$build" -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVELTRANE_FUZZ=ON -DVELTRANE_BUILD_APP=OFF -DVELTRANE_BUILD_TESTS=OFF \
  -DVELTRANE_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" --parallel "$(nproc)" --target "${targets[@]}"

failed=()
for target in "${targets[@]}"; do
  corpus="$build/fuzz-corpus/$target"
  artifacts="$build/fuzz-artifacts/$target"
  rm -rf "$corpus"
  mkdir -p "$corpus" "$artifacts"
  cp -R "$root/fuzz/corpus/$target/." "$corpus/"
  echo "== $target: ${seconds} s"
  if ! "$build/bin/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$artifacts/" "$corpus" \
    >"$build/fuzz-$target.log" 2>&1; then
    failed+=("$target")
    echo "!! $target failed; log: $build/fuzz-$target.log" >&2
    grep -E "FUZZ CHECK FAILED|ERROR: (AddressSanitizer|libFuzzer)|runtime error|Test unit written" \
      "$build/fuzz-$target.log" | head -n 20 >&2 || true
  else
    grep -E "^stat::number_of_executed_units|DONE" "$build/fuzz-$target.log" | tail -n 2
  fi
done

if ((${#failed[@]} > 0)); then
  echo "fuzz.sh: failures in: ${failed[*]}" >&2
  exit 1
fi
echo "fuzz.sh: no failures"
