#!/usr/bin/env python3
"""Runs the terminal transcripts of the documentation and compares what they print.

A transcript is a fenced code block with at least one line "$ veltrane-calc ...". Each "$ " line
is a command (a line ending in a backslash continues it); the lines up to the next command are
what it prints, standard output and standard error together. A line "..." alone stands for any
number of lines. The commands of one block run in order in one shell, in a fresh folder holding
a copy of examples/ and the files of tests/docs/fixtures/, with the programs of the build first
on PATH, so "echo $?" gives the status of the command before it.

    transcripts.py BIN_DIR [FILE.md...]     (default: README.md and docs/*.md)

Prints one line per difference and exits 1 when there is any.
"""

import difflib
import os
import re
import shutil
import subprocess
import sys
import tempfile

FENCE = re.compile(r"^ {0,3}```")
SOURCE = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))


def blocks(path):
    """Yields (first line number, lines) of each fenced code block."""
    inside, start, body = False, 0, []
    with open(path, encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            line = line.rstrip("\n")
            if FENCE.match(line):
                if inside:
                    yield start, body
                inside, start, body = not inside, number + 1, []
            elif inside:
                body.append(line)


def steps(lines):
    """Splits a transcript into (command, expected lines) pairs."""
    result = []
    i = 0
    while i < len(lines):
        if not lines[i].startswith("$ "):
            i += 1
            continue
        command = lines[i][2:]
        while command.endswith("\\") and i + 1 < len(lines):
            i += 1
            command = command[:-1] + " " + lines[i].strip()
        i += 1
        expected = []
        while i < len(lines) and not lines[i].startswith("$ "):
            expected.append(lines[i])
            i += 1
        result.append((command, expected))
    return result


def matches(expected, actual):
    """Whether actual fits expected, where a line "..." takes any number of lines."""
    if not expected:
        return not actual
    if expected[0] == "...":
        return any(matches(expected[1:], actual[k:]) for k in range(len(actual) + 1))
    return bool(actual) and expected[0] == actual[0] and matches(expected[1:], actual[1:])


def run_block(bin_dir, transcript):
    marker = "@@transcript-step@@"
    script = ["exec 2>&1"]
    for command, _ in transcript:
        script += [command, f"__status=$?; echo {marker}; (exit $__status)"]
    with tempfile.TemporaryDirectory(prefix="veltrane-docs-") as folder:
        shutil.copytree(os.path.join(SOURCE, "examples"), os.path.join(folder, "examples"))
        fixtures = os.path.join(SOURCE, "tests", "docs", "fixtures")
        for name in os.listdir(fixtures):
            shutil.copy(os.path.join(fixtures, name), folder)
        env = dict(os.environ, PATH=bin_dir + os.pathsep + os.environ.get("PATH", ""), LC_ALL="C")
        done = subprocess.run(["bash", "-c", "\n".join(script)], cwd=folder, env=env,
                              stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, timeout=600)
    outputs = done.stdout.decode("utf-8", "replace").split(marker + "\n")
    return [on_screen(out) for out in outputs]


def on_screen(text):
    """The lines a terminal shows: a carriage return goes back to the line's start, so a progress
    line that clears itself ("Best fit: 42 %" overwritten by blanks) leaves nothing."""
    lines = []
    for line in text.split("\n"):
        if line.endswith("\r"):  # a CR LF line end, as in the report
            line = line[:-1]
        if "\r" in line:
            shown = ""
            for piece in line.split("\r"):
                shown = piece + shown[len(piece):]
            line = shown.rstrip()
            if not line:
                continue
        lines.append(line)
    if lines and lines[-1] == "":
        lines.pop()
    return lines


def main():
    bin_dir = os.path.abspath(sys.argv[1])
    failures = 0
    checked = 0
    paths = sys.argv[2:]
    if not paths:
        docs = os.path.join(SOURCE, "docs")
        paths = [os.path.join(SOURCE, "README.md")] + sorted(
            os.path.join(docs, name) for name in os.listdir(docs) if name.endswith(".md"))
    for path in paths:
        for start, lines in blocks(path):
            transcript = steps(lines)
            if not any(c.startswith("veltrane-calc") for c, _ in transcript):
                continue
            outputs = run_block(bin_dir, transcript)
            for index, (command, expected) in enumerate(transcript):
                checked += 1
                actual = outputs[index] if index < len(outputs) else []
                if not matches(expected, actual):
                    failures += 1
                    print(f"{os.path.relpath(path, SOURCE)}:{start}: $ {command}")
                    for line in difflib.unified_diff(expected, actual, "documented", "printed",
                                                     lineterm="", n=1):
                        print("    " + line)
    print(f"{checked - failures} passed, {failures} failed")
    return 1 if failures or checked == 0 else 0


if __name__ == "__main__":
    sys.exit(main())
