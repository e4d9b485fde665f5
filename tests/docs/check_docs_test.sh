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

# Rows of transcripts, run against a stand-in veltrane-calc that prints two lines (the second
# through a progress line that clears itself) and a CR LF line, and fails.
transcripts="$(dirname "$checker")/../tests/docs/transcripts.py"
mkdir "$dir/bin"
printf '%s\n' '#!/bin/sh' 'echo "Ls 1"' 'printf "Best 5 %%\\r        \\r" >&2' 'echo "F0 2"' \
  'printf "R =  2\\r\\n"' 'exit 1' >"$dir/bin/veltrane-calc"
chmod +x "$dir/bin/veltrane-calc"
transcript() { # expected-status name text
  printf '%b' "$3" >"$dir/$2.md"
  set +e
  /usr/bin/python3 "$transcripts" "$dir/bin" "$dir/$2.md" >/dev/null
  local got=$?
  set -e
  if [ "$got" -ne "$1" ]; then
    echo "transcript $2: expected status $1, got $got"
    failed=1
  fi
}
transcript 0 same '```\n$ veltrane-calc --x\nLs 1\nF0 2\nR =  2\n$ echo $?\n1\n```\n'
transcript 0 elided '```\n$ veltrane-calc \\\n  --x\n...\nR =  2\n```\n'
transcript 1 other-number '```\n$ veltrane-calc\nLs 1\nF0 3\nR =  2\n```\n'
transcript 1 line-missing '```\n$ veltrane-calc\nLs 1\nR =  2\n```\n'
transcript 1 status '```\n$ veltrane-calc\n...\n$ echo $?\n0\n```\n'
transcript 1 none '```\n$ ls\n```\n'
exit $failed
