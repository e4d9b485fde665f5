# Sourced by the sanitizer and fuzz scripts: sets $cxx to Debian's clang++ (plain or versioned).
cxx=$(command -v clang++ || command -v clang++-14 || true)
if [[ -z "$cxx" ]]; then
  echo "$(basename "$0"): clang++ not found" >&2
  exit 1
fi
