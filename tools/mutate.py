#!/usr/bin/env python3
"""Our own mutation check: does a test program fail when the product code is wrong?

Reads the mutants kept in tools/mutants.txt, applies them one at a time to a copy of the tree
(build-mutate/tree, with its own build folder under ccache), rebuilds only the test programs that
cover the mutated file, runs them, puts the file back and prints the table: killed, survived,
did not compile, equivalent (with the reason from the list), and the kill rate per folder.

    python3 tools/mutate.py                      # every mutant
    python3 tools/mutate.py --only cli/ match/   # mutants whose file or name starts so
    python3 tools/mutate.py --every 3            # a representative third (every 3rd per folder)
    python3 tools/mutate.py --check              # only check that each mutant applies
    python3 tools/mutate.py --at main            # the tests of another commit, same mutants

A mutant costs one object rebuild and one link per covering program. Standard library only.
"""

import argparse
import io
import os
import signal
import tarfile
import subprocess
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
DEFAULT_LIST = ROOT / "tools" / "mutants.txt"
WORK = ROOT / "build-mutate"
TREE = WORK / "tree"
BUILD = TREE / "build"


def use_work_folder(folder):
    """Another copy beside the first (e.g. build-mutate-main): it finds the first one's objects
    in ccache, being as deep in the file system."""
    global WORK, TREE, BUILD
    WORK = ROOT / folder
    TREE = WORK / "tree"
    BUILD = TREE / "build"


class Mutant:
    def __init__(self, ident, path, where):
        self.ident = ident
        self.path = path
        self.where = where  # "tools/mutants.txt:LINE" for messages
        self.line = None  # the occurrence of `before` nearest this line, when it is not unique
        self.before = None
        self.after = None
        self.tests = []
        self.filter = None
        self.equivalent = None
        self.note = None

    @property
    def folder(self):
        return self.path.split("/", 1)[0] + "/"


def parse_list(path):
    """Blocks separated by blank lines:

        [id] folder/file.cpp
        - text before (unique in the file, or give `line:`)
        + text after
        tests: program [program...]
        line: N               (optional)
        filter: GTEST_FILTER  (optional)
        equivalent: reason    (optional: counted apart, not run)
        note: what a test should see (optional)
    """
    mutants = []
    current = None
    for number, raw in enumerate(path.read_text(encoding="utf-8").splitlines(), 1):
        where = f"{path.name}:{number}"
        if raw.startswith("#"):
            continue
        if not raw.strip():
            current = None
            continue
        if raw.startswith("["):
            close = raw.index("]")
            current = Mutant(raw[1:close], raw[close + 1:].strip(), where)
            mutants.append(current)
            continue
        if current is None:
            sys.exit(f"{where}: a line outside a mutant: {raw!r}")
        if raw.startswith("- "):
            current.before = raw[2:]
        elif raw.startswith("+ ") or raw == "+":
            current.after = raw[2:]
        else:
            key, _, value = raw.partition(":")
            value = value.strip()
            if key == "tests":
                current.tests = value.split()
            elif key == "line":
                current.line = int(value)
            elif key == "filter":
                current.filter = value
            elif key == "equivalent":
                current.equivalent = value
            elif key == "note":
                current.note = value
            else:
                sys.exit(f"{where}: unknown key {key!r}")
    seen = set()
    for m in mutants:
        if m.ident in seen:
            sys.exit(f"{m.where}: mutant {m.ident} given twice")
        seen.add(m.ident)
        if m.before is None or m.after is None or not m.tests:
            sys.exit(f"{m.where}: mutant {m.ident} needs '- before', '+ after' and 'tests:'")
        if m.before == m.after:
            sys.exit(f"{m.where}: mutant {m.ident} changes nothing")
    return mutants


def locate(text, mutant):
    """Offset of `before` in text: the only occurrence, or the one nearest `line:`."""
    offsets = []
    start = text.find(mutant.before)
    while start >= 0:
        offsets.append(start)
        start = text.find(mutant.before, start + 1)
    if not offsets:
        raise LookupError(f"{mutant.where}: {mutant.ident}: text not found in {mutant.path}")
    if len(offsets) > 1 and mutant.line is None:
        lines = [text.count("\n", 0, o) + 1 for o in offsets]
        raise LookupError(f"{mutant.where}: {mutant.ident}: text found {len(offsets)} times in "
                          f"{mutant.path} (lines {lines}); add 'line:'")
    if mutant.line is None:
        return offsets[0]
    return min(offsets, key=lambda o: abs(text.count("\n", 0, o) + 1 - mutant.line))


def checkout_files(revision):
    """(name, bytes, executable) of the checkout as it is, or of a commit."""
    if revision is None:
        files = subprocess.run(["git", "ls-files", "-z", "--cached", "--others",
                                "--exclude-standard"], cwd=ROOT, check=True,
                               capture_output=True).stdout.decode().split("\0")
        for name in filter(None, files):
            source = ROOT / name
            if source.is_file():
                yield name, source.read_bytes(), os.access(source, os.X_OK)
        return
    archive = subprocess.run(["git", "archive", "--format=tar", revision], cwd=ROOT, check=True,
                             capture_output=True).stdout
    with tarfile.open(fileobj=io.BytesIO(archive)) as tar:
        for member in tar.getmembers():
            if member.isfile():
                yield member.name, tar.extractfile(member).read(), bool(member.mode & 0o100)


def sync_tree(revision):
    """The copy follows the checkout (or a commit): files written only when their bytes differ,
    so that make rebuilds only what changed (and ccache serves the rest)."""
    for name, data, executable in checkout_files(revision):
        target = TREE / name
        if target.is_file() and target.read_bytes() == data:
            continue
        target.parent.mkdir(parents=True, exist_ok=True)
        target.write_bytes(data)
        target.chmod(0o755 if executable else 0o644)


def environment():
    env = dict(os.environ)
    env.setdefault("CCACHE_BASEDIR", str(ROOT.parent))
    env.setdefault("CCACHE_DIR", str(ROOT.parent / ".ccache"))
    env.setdefault("QT_QPA_PLATFORM", "offscreen")
    # The copy's objects are found again whatever folder it sits in (the debug information's
    # folder does not matter here).
    env.setdefault("CCACHE_NOHASHDIR", "1")
    return env


def configure(env):
    if (BUILD / "CMakeCache.txt").exists():
        return
    subprocess.run(["cmake", "-S", str(TREE), "-B", str(BUILD), "-DCMAKE_BUILD_TYPE=RelWithDebInfo",
                    "-DCMAKE_CXX_COMPILER_LAUNCHER=ccache"], check=True, env=env,
                   stdout=subprocess.DEVNULL)


def build(targets, env, jobs):
    result = subprocess.run(["cmake", "--build", str(BUILD), "--parallel", str(jobs), "--target",
                             *targets], env=env, capture_output=True, text=True)
    return result.returncode == 0, result.stdout + result.stderr


def program_path(target):
    found = [p for folder in (BUILD / "bin", BUILD / "tests") if folder.is_dir()
             for p in folder.rglob(target) if p.is_file() and os.access(p, os.X_OK)]
    if not found:
        sys.exit(f"no test program {target} in {BUILD}")
    return found[0]


def run_program(target, gtest_filter, env, timeout):
    command = [str(program_path(target)), "--gtest_brief=1"]
    if gtest_filter:
        command.append(f"--gtest_filter={gtest_filter}")
    try:
        result = subprocess.run(command, cwd=program_path(target).parent, env=env,
                                capture_output=True, text=True, timeout=timeout)
    except subprocess.TimeoutExpired:
        return False, "timed out"
    if result.returncode == 0:
        return True, ""
    failed = [line[12:].split()[0].rstrip(",") for line in result.stdout.splitlines()
              if line.startswith("[  FAILED  ] ") and "." in line.split()[3]]
    return False, (failed[0] if failed else f"status {result.returncode}")


def main():
    # The tests send these signals to their own children: a job started in the background has
    # them ignored, and the programs would inherit that.
    for number in (signal.SIGINT, signal.SIGQUIT, signal.SIGHUP, signal.SIGTERM):
        signal.signal(number, signal.SIG_DFL)
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--list", type=Path, default=DEFAULT_LIST)
    parser.add_argument("--only", nargs="*", default=[], help="id or file prefixes")
    parser.add_argument("--every", type=int, default=1, help="every Nth mutant of each folder")
    parser.add_argument("--jobs", type=int, default=2)
    parser.add_argument("--check", action="store_true", help="only check that the mutants apply")
    parser.add_argument("--markdown", type=Path, help="also write the table here")
    parser.add_argument("--work", default="build-mutate",
                        help="the copy's folder under the checkout (default build-mutate)")
    parser.add_argument("--at", metavar="COMMIT",
                        help="the tree of this commit (default: the checkout as it is)")
    args = parser.parse_args()

    use_work_folder(args.work)
    mutants = parse_list(args.list)
    if args.only:
        mutants = [m for m in mutants if any(m.path.startswith(p) or m.ident.startswith(p)
                                             for p in args.only)]
    if args.every > 1:
        counts = {}
        chosen = []
        for m in mutants:
            k = counts.get(m.folder, 0)
            counts[m.folder] = k + 1
            if k % args.every == 0:
                chosen.append(m)
        mutants = chosen
    problems = 0
    for m in mutants:
        try:
            text = (ROOT / m.path).read_text(encoding="utf-8")
            m.line_found = text.count("\n", 0, locate(text, m)) + 1
        except (LookupError, FileNotFoundError) as error:
            print(error, file=sys.stderr)
            problems += 1
    if problems or args.check:
        print(f"{len(mutants)} mutants, {problems} that do not apply")
        return 1 if problems else 0

    env = environment()
    TREE.mkdir(parents=True, exist_ok=True)
    sync_tree(args.at)
    configure(env)
    programs = sorted({t for m in mutants for t in m.tests})
    ok, log = build(programs, env, args.jobs)
    if not ok:
        sys.exit("the unmutated tree does not build:\n" + log[-4000:])
    timeouts = {}
    flaky = set()  # tests that failed once without a mutant (timing on a loaded machine)
    for program in programs:
        for attempt in range(3):
            started = time.monotonic()
            passed, why = run_program(program, None, env, 1800)
            if passed:
                break
            print(f"{program} failed without a mutant ({why}); again", file=sys.stderr)
            flaky.add(why)
        else:
            sys.exit(f"{program} fails without a mutant: {why}")
        timeouts[program] = 30 + 4 * (time.monotonic() - started)

    rows = []
    for index, m in enumerate(mutants, 1):
        if m.equivalent:
            rows.append((m, "equivalent", m.equivalent))
            continue
        source = TREE / m.path
        original = source.read_bytes()
        text = original.decode("utf-8")
        at = locate(text, m)
        source.write_text(text[:at] + m.after + text[at + len(m.before):], encoding="utf-8")
        try:
            ok, log = build(m.tests, env, args.jobs)
            if not ok:
                status, why = "no-compile", ""
            else:
                status, why = "survived", ""
                for program in m.tests:
                    passed, failure = run_program(program, m.filter, env, timeouts[program])
                    if not passed and failure in flaky:  # confirm a kill by a flaky test
                        passed, failure = run_program(program, m.filter, env, timeouts[program])
                    if not passed:
                        status, why = "killed", f"{program}: {failure}"
                        break
        finally:
            source.write_bytes(original)
        if status == "survived" and m.note:
            why = m.note
        rows.append((m, status, why))
        print(f"[{index}/{len(mutants)}] {m.ident} {m.path}:{m.line_found} {status} {why}",
              file=sys.stderr, flush=True)
    # Leave the copy built as the checkout is, so that the next run starts from it.
    build(programs, env, args.jobs)
    report(rows, args.markdown)
    return 0


def report(rows, markdown):
    lines = ["| mutant | file:line | before | after | result | killed by / reason |",
             "|---|---|---|---|---|---|"]
    for m, status, why in rows:
        cell = lambda s: "`" + s.strip().replace("|", "\\|") + "`" if s.strip() else "(nothing)"
        lines.append(f"| {m.ident} | {m.path}:{m.line_found} | {cell(m.before)} | {cell(m.after)} "
                     f"| {status} | {why} |")
    lines += ["", "| folder | mutants | equivalent | no-compile | killed | survived | killed % |",
              "|---|---|---|---|---|---|---|"]
    folders = sorted({m.folder for m, _, _ in rows})
    for folder in folders + ["all"]:
        mine = [s for m, s, _ in rows if folder == "all" or m.folder == folder]
        killed, survived = mine.count("killed"), mine.count("survived")
        rate = f"{100 * killed / (killed + survived):.0f}" if killed + survived else "-"
        lines.append(f"| {folder} | {len(mine)} | {mine.count('equivalent')} | "
                     f"{mine.count('no-compile')} | {killed} | {survived} | {rate} |")
    text = "\n".join(lines) + "\n"
    print(text)
    if markdown:
        markdown.write_text(text, encoding="utf-8")


if __name__ == "__main__":
    sys.exit(main())
