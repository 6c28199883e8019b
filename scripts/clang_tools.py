#!/usr/bin/env python3
"""The clang tools over every source of this tree, for the mingw target.

  clang_tools.py syntax   clang++ -fsyntax-only with the project's warnings (`make check-clang`)
  clang_tools.py tidy     clang-tidy with the checks of .clang-tidy (`make tidy`)

Both take the mingw build's compile commands (build/mingw/compile_commands.json), so they see
the project's definitions, include folders and warnings. Debian's clang does not find the
mingw C++ headers by itself; it is given GCC's. Any diagnostic fails the run.
"""
import concurrent.futures
import json
import os
import re
import shlex
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SOURCES = ("src", "tests", "stand-in", "bench")
GCC = "x86_64-w64-mingw32-g++-posix"
TARGET = "--target=x86_64-w64-mingw32"


def gcc_cxx_include_dirs():
    """The C++ header folders of the mingw GCC, in its own search order."""
    listing = subprocess.run([GCC, "-xc++", "-E", "-v", os.devnull], capture_output=True, text=True).stderr
    lines = listing.split("#include <...> search starts here:")[1].split("End of search list.")[0].split()
    return [os.path.normpath(line) for line in lines if "/include/c++" in line]


def compiler_arguments(entry):
    """The entry's GCC arguments without the compiler, the object file and -c."""
    kept = []
    words = iter(shlex.split(entry["command"])[1:])
    for word in words:
        if word == "-o":
            next(words)
        elif word != "-c":
            kept.append(word)
    return kept


def syntax_command(entry, cxx_includes):
    includes = [flag for folder in cxx_includes for flag in ("-isystem", folder)]
    return ["clang++", TARGET, "-fsyntax-only", "-nostdinc++", *includes, *compiler_arguments(entry)]


def tidy_command(entry, cxx_includes):
    extra = [TARGET, "-nostdinc++", *(f"-isystem{folder}" for folder in cxx_includes)]
    headers = re.escape(ROOT) + "/(" + "|".join(SOURCES) + ")/"
    return ["clang-tidy", "--quiet", "-p", os.path.join(ROOT, "build", "mingw"), f"--header-filter={headers}",
            *(f"--extra-arg={arg}" for arg in extra), entry["file"]]


def main():
    mode = sys.argv[1] if len(sys.argv) > 1 else ""
    commands = {"syntax": syntax_command, "tidy": tidy_command}
    if mode not in commands:
        print(__doc__, file=sys.stderr)
        return 2
    with open(os.path.join(ROOT, "build", "mingw", "compile_commands.json")) as file:
        entries = json.load(file)
    ours = sorted((e for e in entries if e["file"].endswith(".cpp") and
                   os.path.relpath(e["file"], ROOT).split(os.sep)[0] in SOURCES), key=lambda e: e["file"])
    cxx_includes = gcc_cxx_include_dirs()

    def run(entry):
        result = subprocess.run(commands[mode](entry, cxx_includes), cwd=entry["directory"], capture_output=True,
                                text=True)
        # clang-tidy tells on stderr how many warnings it kept quiet about (system headers).
        findings = result.stdout if mode == "tidy" else result.stderr
        return result.returncode, findings

    failed = 0
    seen = set()  # a header's finding comes once for each source that includes it
    with concurrent.futures.ThreadPoolExecutor(os.cpu_count()) as pool:
        for code, findings in pool.map(run, ours):
            fresh = [block for block in re.split(r"(?m)^(?=\S+:\d+:\d+: )", findings) if block.strip()]
            fresh = [block for block in fresh if block not in seen]
            seen.update(fresh)
            if code != 0 or fresh:
                failed += 1
                sys.stdout.write("".join(fresh))
    name = {"syntax": "check-clang", "tidy": "tidy"}[mode]
    if failed:
        print(f"{name}: {failed} of {len(ours)} sources drew findings", file=sys.stderr)
        return 1
    print(f"{name}: {len(ours)} sources, no findings")
    return 0


if __name__ == "__main__":
    sys.exit(main())
