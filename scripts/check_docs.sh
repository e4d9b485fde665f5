#!/usr/bin/env bash
# Checks the Markdown files given (default: README.md and docs/*.md) for what makes them render
# wrong: a code fence never closed, a fence with a language opened inside a code block, a
# heading swallowed by a code block, and a relative link or image whose file does not exist.
# Prints one line per fault and exits 1 when there is any.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
files=("$@")
if [ ${#files[@]} -eq 0 ]; then
  files=(README.md)
  for f in docs/*.md; do [ -e "$f" ] && files+=("$f"); done
fi
status=0
for file in "${files[@]}"; do
  if ! awk -v file="$file" '
    function fault(text) { print file ":" NR ": " text; bad = 1 }
    /^ ? ? ?```/ {
      info = $0; sub(/^ *```/, "", info); gsub(/[ \t]/, "", info)
      if (!open) { open = NR } else if (info != "") {
        fault("a fence with \"" info "\" inside the code block opened on line " open)
      } else { open = 0 }
      next
    }
    open && /^##+ [A-Z]/ { fault("heading inside the code block opened on line " open) }
    END {
      if (open) { fault("the code block opened on line " open " is never closed") }
      exit bad
    }' "$file"; then
    status=1
  fi
  dir=$(dirname "$file")
  # Links and images outside code blocks: ](target) with no scheme and no leading #.
  while IFS=: read -r line target; do
    target=${target%%#*}
    target=${target%% *}
    [ -z "$target" ] && continue
    case "$target" in
      *://* | mailto:*) continue ;;
    esac
    if [ ! -e "$dir/$target" ]; then
      echo "$file:$line: broken link to $target"
      status=1
    fi
  done < <(awk '/^ ? ? ?```/ { code = !code; next }
                !code { s = $0
                  while (match(s, /\]\([^)]*\)/)) {
                    print NR ":" substr(s, RSTART + 2, RLENGTH - 3); s = substr(s, RSTART + RLENGTH)
                  } }' "$file")
done
exit $status
