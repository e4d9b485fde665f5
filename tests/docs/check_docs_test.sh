#!/usr/bin/env bash
# Rows of small Markdown files and whether scripts/check_docs.sh must accept them.
set -euo pipefail
checker="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)/scripts/check_docs.sh"
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
touch "$dir/there.png"
failed=0
row() { # expected-status name text
  printf '%b' "$3" >"$dir/$2.md"
  set +e
  "$checker" "$dir/$2.md" >/dev/null
  local got=$?
  set -e
  if [ "$got" -ne "$1" ]; then
    echo "row $2: expected status $1, got $got"
    failed=1
  fi
}
row 0 good '# T\n\n```sh\n$ ls\n```\n\n## Next\n\n![p](there.png) [a](https://x.org/y)\n'
row 1 unclosed '# T\n\n```\n$ ls\n'
row 1 swallowed '```\nout\n\n## Heading\n\ntext\n```\n'
row 1 nested-open '```\na\n```sh\nb\n```\n'
row 1 broken-link '# T\n\n[x](missing.md)\n'
row 1 broken-image '![x](gone.png#frag)\n'
row 0 link-in-code '```\n[x](missing.md)\n```\n'
exit $failed
