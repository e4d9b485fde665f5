#!/usr/bin/env bash
# The Windows release archive as a user unpacks it, into a folder whose name has a space and
# letters beyond ASCII: exactly the programs, README.txt and the examples; the programs without
# debugging sections and with their version information; veltrane-calc.exe prints the worked
# example and writes Model.prt there; veltrane.exe starts and keeps running.
# archive_test.sh ARCHIVE EXAMPLES_DIR CALC_PREFIX WINDOW_PREFIX
set -euo pipefail
archive=$(realpath "$1")
examples=$(realpath "$2")
calc_prefix=$3
window_prefix=$4
scripts=$(dirname "$(realpath "${BASH_SOURCE[0]}")")/../../scripts
fail() {
  echo "archive_test.sh: $*" >&2
  exit 1
}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
folder="$work/Programme für Ölmessung Ω"
mkdir -p "$folder"
(cd "$folder" && cmake -E tar xf "$archive")
top="$folder/$(basename "$archive" .zip)"
[[ -d $top ]] || fail "the archive has no folder $(basename "$top")"

expected=$(
  printf '%s\n' README.txt veltrane.exe veltrane-calc.exe
  (cd "$examples" && find . -type f | sed 's|^\./|examples/|')
)
actual=$(cd "$top" && find . -type f | sed 's|^\./||')
diff <(sort <<<"$expected") <(sort <<<"$actual") || fail "unexpected files in the archive"
grep -q $'\r$' "$top/README.txt" || fail "README.txt has no Windows line ends"

for exe in veltrane.exe veltrane-calc.exe; do
  if x86_64-w64-mingw32-objdump -h "$top/$exe" | grep -q '\.debug_'; then
    fail "$exe keeps debugging sections"
  fi
  strings -el "$top/$exe" | grep -qx "$exe" || fail "$exe has no OriginalFilename $exe"
  strings -el "$top/$exe" | grep -qx 'ProductVersion' || fail "$exe has no version information"
done

# The command-line calculator, started from the unpacked folder.
output=$(cd "$top" && "$scripts/wine-run.sh" "$calc_prefix" ./veltrane-calc.exe --rl 2.0 \
  --f1-crossover inductive --f2-crossover capacitive --topology parallel-series)
grep -q '^Q0    1\.347' <<<"$output" || fail "veltrane-calc.exe printed: $output"
[[ -s $top/Model.prt ]] || fail "veltrane-calc.exe wrote no Model.prt beside it"

# The window: a program that cannot start (a missing DLL or entry point) ends at once.
(cd "$top" && exec setsid "$scripts/wine-window-run.sh" "$window_prefix" ./veltrane.exe) &
window=$!
sleep 15
running=0
kill -0 "$window" 2>/dev/null && running=1
kill -- -"$window" 2>/dev/null || true
wait "$window" 2>/dev/null || true
WINEPREFIX=$(realpath -m "$window_prefix") WINEDEBUG=-all wineserver --kill >/dev/null 2>&1 || true
((running)) || fail "veltrane.exe ended within 15 s of its start"
echo "archive_test.sh: $(basename "$archive") passes"
