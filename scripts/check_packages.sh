#!/usr/bin/env bash
# Fails when something the build found, or a tool the tests and scripts run, comes from a Debian
# package that scripts/packages.txt neither lists nor pulls in. A fresh Debian 12 machine gets
# exactly that list (scripts/deps.sh), so a package installed here by hand would otherwise hide a
# missing install step until the build fails on a new machine.
#
#   scripts/check_packages.sh [BUILD_DIR...]
#
# What is checked: every PATH and FILEPATH entry of each BUILD_DIR/CMakeCache.txt (a *_DIR folder
# by the CMake config file inside it), and every program and Python module of the tools table
# below. Each is looked up with dpkg -S. Its owner passes when it is in the closure of the listed
# packages (apt-cache depends --recurse --installed, Depends and Pre-Depends only: what apt
# installs with --no-install-recommends), or when it is Essential (on every Debian machine, and
# apt will not remove it) or in the closure of the Essential packages.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source_dir=$(dirname "$here")
list="${VELTRANE_PACKAGES_LIST:-$here/packages.txt}"

# Programs the tests and scripts run, each with who runs it.
tools=(
  "cmake:the build"
  "ctest:./test.sh"
  "g++:the build"
  "clang++-14:scripts/sanitize.sh, scripts/fuzz.sh"
  "x86_64-w64-mingw32-g++-posix:scripts/windows.sh"
  "x86_64-w64-mingw32-windres:scripts/windows.sh"
  "x86_64-w64-mingw32-objdump:scripts/windows.sh"
  "x86_64-w64-mingw32-strip:the Windows release archive"
  "strings:the Windows release archive's test"
  "setsid:the Windows release archive's test"
  "wine:scripts/wine-run.sh"
  "wineserver:scripts/wine-run.sh"
  "xvfb-run:the window tests"
  "Xvfb:the window tests"
  "xauth:xvfb-run"
  "localedef:the window's locale test"
  "script:the command line's terminal tests"
  "ngspice:the SPICE export tests"
  "rsvg-convert:the picture tests"
  "xmllint:the picture tests"
  "/usr/bin/python3:the documentation transcripts, the Python tests"
)
# Python modules the tests import (with Debian's Python, not one first on PATH), as module:who.
modules=(
  "skrf:the Touchstone interop tests"
)

# Cache entries that CMake's own modules fill when the file happens to be there, which nothing in
# the build uses: Qt's OpenGL lookup also notes EGL and GLU, and FindPkgConfig notes pkg-config.
optional_entries=" OPENGL_egl_LIBRARY OPENGL_glu_LIBRARY PKG_CONFIG_EXECUTABLE "

declare -A allowed=()
closure() { # names... -> adds each and everything they depend on to allowed
  local line name
  while read -r line; do
    case "$line" in
      Depends:* | PreDepends:*) name=${line#*: } ;;
      *:* | "") continue ;;
      *) name=$line ;;
    esac
    name=${name#<}
    name=${name%>}
    name=${name%%:*}
    allowed[$name]=1
  done < <(apt-cache depends --recurse --installed --no-recommends --no-suggests --no-conflicts \
    --no-breaks --no-replaces --no-enhances "$@" 2>/dev/null | sed 's/^[ |]*//')
}

listed=()
while read -r pkg; do
  [[ -z "$pkg" || "$pkg" == \#* ]] && continue
  listed+=("$pkg")
done <"$list"
closure "${listed[@]}"
mapfile -t essential < <(dpkg-query -W -f='${Package} ${Essential}\n' | awk '$2 == "yes" { print $1 }')
closure "${essential[@]}"

owners() { # path -> the packages that own it, one a line (nothing when none does)
  local path=$1 candidates=("$1") real
  real=$(realpath -e "$path" 2>/dev/null || true)
  [[ -n "$real" && "$real" != "$path" ]] && candidates+=("$real")
  # Debian 12 merged /bin and /lib into /usr, but dpkg records paths as packaged.
  for p in "${candidates[@]}"; do
    case "$p" in
      /usr/bin/* | /usr/sbin/* | /usr/lib/* | /usr/lib64/*) candidates+=("${p#/usr}") ;;
    esac
  done
  for p in "${candidates[@]}"; do
    if dpkg-query -S "$p" 2>/dev/null | grep -v '^diversion ' | sed 's/: .*//; s/, /\n/g; s/:[a-z0-9]*$//' |
      grep .; then
      return 0
    fi
  done
}

status=0
fault() {
  echo "$*"
  status=1
}
declare -A reported=()
check() { # path what
  local path=$1 what=$2 found=() owner ok=0
  mapfile -t found < <(owners "$path" | sed 's/:[a-z0-9]*$//' | sort -u)
  if ((${#found[@]} == 0)); then
    fault "no Debian package owns $path ($what): install it from a package and list that package"
    return
  fi
  # A folder many packages share (/usr/include) passes with any one of them.
  for owner in "${found[@]}"; do
    [[ -n "${allowed[$owner]:-}" ]] && ok=1
  done
  if ((ok == 0)); then
    owner=${found[0]}
    if [[ -z "${reported[$owner]:-}" ]]; then
      reported[$owner]=1
      fault "missing from scripts/packages.txt: $owner (owns $path, $what)"
    fi
  fi
}

for build in "$@"; do
  cache="$build/CMakeCache.txt"
  if [[ ! -f "$cache" ]]; then
    fault "no CMakeCache.txt in $build"
    continue
  fi
  while IFS= read -r entry; do
    name=${entry%%:*}
    value=${entry#*=}
    [[ "$optional_entries" == *" $name "* ]] && continue
    case "$value" in
      "" | *-NOTFOUND | "$source_dir"* | "$build"* | /usr/local*) continue ;;
      /*) ;;
      *) continue ;;
    esac
    if [[ -d "$value" ]]; then
      config=$(find "$value" -maxdepth 1 \( -name '*Config.cmake' -o -name '*-config.cmake' \) \
        -print -quit 2>/dev/null)
      [[ -n "$config" ]] && value=$config
    fi
    check "$value" "CMake found it as $name"
  done < <(grep -E '^[A-Za-z0-9_]+:(PATH|FILEPATH)=/' "$cache")
done

for tool in "${tools[@]}"; do
  program=${tool%%:*}
  path=$(command -v "$program" 2>/dev/null || true)
  if [[ -z "$path" ]]; then
    fault "not installed: $program (run by ${tool#*:}); list the package that provides it"
    continue
  fi
  check "$path" "run by ${tool#*:}"
done

for module in "${modules[@]}"; do
  name=${module%%:*}
  path=$(/usr/bin/python3 -c "import $name; print($name.__file__)" 2>/dev/null | tail -n 1 || true)
  if [[ -z "$path" ]]; then
    fault "not installed: the Python module $name (imported by ${module#*:})"
    continue
  fi
  check "$path" "the Python module $name, imported by ${module#*:}"
done

if ((status == 0)); then
  echo "Every package the build, the tests and the scripts use is in scripts/packages.txt."
fi
exit $status
