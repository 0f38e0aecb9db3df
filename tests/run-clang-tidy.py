#!/usr/bin/env python3
"""Runs clang-tidy with the checks of the root's .clang-tidy over every translation unit of the
project's own sources in a build's compile_commands.json (generated code left out), one per core.
Prints each finding with its file and line; fails on any.

A translation unit found clean is remembered in BUILD-DIR/clang-tidy-clean/ under a key over
everything its result depends on: its own text and that of every header it includes (system
headers too), its compile command, the checks' configuration, the clang-tidy binary and this
script. While that key stays the same it is not analysed again. A finding is never remembered,
and a fresh build folder remembers nothing, so it checks everything.

Usage: run-clang-tidy.py SOURCE-DIR BUILD-DIR [FILE-REGEX]
"""
import concurrent.futures
import hashlib
import json
import os
import re
import shlex
import subprocess
import sys
import time

# Noise of a clean or failed run that names no finding.
NOISE = re.compile(r"^[0-9]+ warnings? (and [0-9]+ errors? )?generated\.$|^Suppressed [0-9]+ "
                   r"warnings|^Use -header-filter|^Use -system-headers")
EXTRA_ARGS = ["--quiet", "--extra-arg=-Wno-unknown-warning-option"]


def own_units(src, build, only):
    """The project's translation units with every compile command given for each."""
    with open(os.path.join(build, "compile_commands.json")) as f:
        entries = json.load(f)
    # Stand-ins for glibc's own functions, whose parameters glibc names; left unchecked.
    foreign = {os.path.join(src, "tests/guest/NoNameService.cpp")}
    units = {}
    for e in entries:
        path = os.path.realpath(os.path.join(e["directory"], e["file"]))
        if not path.startswith(src + os.sep) or path.startswith(build + os.sep):
            continue
        if re.search(only, path) and path not in foreign:
            units.setdefault(path, []).append(e)
    return units


def checks_config(src, tidy, scratch):
    """The .clang-tidy as this clang-tidy must read it."""
    text = open(os.path.join(src, ".clang-tidy")).read()
    version = subprocess.run([tidy, "--version"], capture_output=True, text=True,
                             check=True).stdout
    major = re.search(r"LLVM version ([0-9]+)", version)
    # From clang-tidy 19 on (Debian 13), cert-err33-c's function names are regular expressions
    # that match anywhere in a qualified name, so "::remove" would stand for QFile::remove and
    # "::send" for QCoreApplication::sendEvent too; anchored, each names the C function it names
    # for clang-tidy 14.
    if major and int(major.group(1)) >= 19:
        def anchor(m):
            names = [n for n in m.group(2).split(";") if n]
            return m.group(1) + ";".join("^" + n + "$" for n in names) + "'"
        text = re.sub(r"(key: cert-err33-c\.CheckedFunctions\n\s*value: ')([^']*)'", anchor, text)
    path = os.path.join(scratch, "clang-tidy.yaml")
    with open(path, "w") as f:
        f.write(text)
    return path, text, version


def make_rule_paths(text):
    """The prerequisites of a make rule as the compiler writes it (-M)."""
    text = text.replace("\\\n", " ")
    _, _, prerequisites = text.partition(": ")
    # A space inside a name is escaped with a backslash.
    return [p.replace("\\ ", " ") for p in re.split(r"(?<!\\)\s+", prerequisites) if p]


def object_file(entry):
    """The object a compile command writes (CMake names it by -o only)."""
    if "output" in entry:
        return entry["output"]
    args = entry.get("arguments") or shlex.split(entry["command"])
    return args[args.index("-o") + 1] if "-o" in args[:-1] else None


def ninja_deps(build, outputs):
    """The headers each object was last built from, as the compiler reported them to ninja."""
    if not outputs or not os.path.exists(os.path.join(build, ".ninja_deps")):
        return {}
    run = subprocess.run(["ninja", "-C", build, "-t", "deps", *outputs], capture_output=True,
                         text=True)
    if run.returncode != 0:
        return {}
    deps, current = {}, None
    for line in run.stdout.splitlines():
        if line.startswith("    ") and current is not None:
            deps[current].append(os.path.normpath(os.path.join(build, line.strip())))
        elif ": #deps " in line:
            current = line.split(": #deps ")[0]
            deps[current] = []
        else:
            current = None
    return deps


def compiler_deps(entry):
    """The files the compile command reads, asked from the compiler itself (-M)."""
    args = entry.get("arguments") or shlex.split(entry["command"])
    kept, skip = [], False
    for a in args:
        if skip:
            skip = False
        elif a in ("-o", "-MF", "-MT", "-MQ"):
            skip = True
        elif a not in ("-c", "-MD", "-MMD"):
            kept.append(a)
    run = subprocess.run(kept + ["-M"], cwd=entry["directory"], capture_output=True, text=True)
    if run.returncode != 0:
        return None
    return [os.path.normpath(os.path.join(entry["directory"], p))
            for p in make_rule_paths(run.stdout)]


class Digests:
    """Content digests, each file read once per run."""

    def __init__(self):
        self.known = {}

    def __call__(self, path):
        if path not in self.known:
            try:
                with open(path, "rb") as f:
                    self.known[path] = hashlib.sha256(f.read()).hexdigest()
            except OSError:
                self.known[path] = "missing"
        return self.known[path]


def included_files(path, entries, build, deps):
    """Every file the unit reads. Ninja's record holds while the object is newer than each of
    them; otherwise (edited since the build, or no build yet) the compiler is asked."""
    files = set()
    for e in entries:
        output = object_file(e)
        recorded = deps.get(output) if output else None
        if recorded:
            try:
                built = os.stat(os.path.join(build, output)).st_mtime_ns
                if all(os.stat(p).st_mtime_ns <= built for p in recorded + [path]):
                    files.update(recorded)
                    continue
            except OSError:
                pass
        asked = compiler_deps(e)
        if asked is None:
            return None  # the unit does not even preprocess: clang-tidy will say why
        files.update(asked)
    return files


def main():
    if len(sys.argv) not in (3, 4):
        sys.exit("Usage: run-clang-tidy.py SOURCE-DIR BUILD-DIR [FILE-REGEX]")
    src, build = (os.path.realpath(p) for p in sys.argv[1:3])
    only = sys.argv[3] if len(sys.argv) == 4 else "."
    tidy = os.environ.get("CLANG_TIDY", "clang-tidy")

    units = own_units(src, build, only)
    if not units:
        sys.exit(f"keine Übersetzungseinheiten in {build}/compile_commands.json")
    memory = os.path.join(build, "clang-tidy-clean")
    os.makedirs(memory, exist_ok=True)
    config, config_text, version = checks_config(src, tidy, memory)

    common = hashlib.sha256()
    for part in (version, config_text, " ".join(EXTRA_ARGS), open(__file__).read()):
        common.update(part.encode() + b"\0")
    objects = [object_file(e) for entries in units.values() for e in entries]
    deps = ninja_deps(build, [o for o in objects if o])
    digest = Digests()

    def key(path, entries):
        files = included_files(path, entries, build, deps)
        if files is None:
            return None
        h = common.copy()
        for e in sorted(entries, key=lambda e: json.dumps(e, sort_keys=True)):
            h.update(json.dumps([e["directory"], e.get("arguments") or e["command"]]).encode())
        for f in sorted(files | {path}):
            h.update(f"{f}\0{digest(f)}\0".encode())
        return h.hexdigest()

    keys = {path: key(path, entries) for path, entries in units.items()}
    due = [p for p in sorted(units) if not (keys[p] and os.path.exists(os.path.join(memory, keys[p])))]

    def check(path):
        run = subprocess.run([tidy, "-p", build, f"--config-file={config}", *EXTRA_ARGS, path],
                             capture_output=True, text=True)
        clean = run.returncode == 0 and not re.search(r"\b(warning|error):", run.stdout)
        if clean and keys[path]:
            open(os.path.join(memory, keys[path]), "w").close()
        return path, clean, run.stdout + run.stderr

    with concurrent.futures.ThreadPoolExecutor(os.cpu_count() or 1) as pool:
        results = list(pool.map(check, due))

    # A result is kept while it is used, so that going back to an earlier text (a branch, an
    # experiment taken out) finds it again; one unused for a month belongs to code that is gone.
    now = time.time()
    for k in keys.values():
        if k and os.path.exists(os.path.join(memory, k)):
            os.utime(os.path.join(memory, k), (now, now))
    for name in os.listdir(memory):
        entry = os.path.join(memory, name)
        if re.fullmatch(r"[0-9a-f]{64}", name) and os.stat(entry).st_mtime < now - 30 * 86400:
            os.remove(entry)

    failed = [(p, log) for p, clean, log in results if not clean]
    for path, log in failed:
        print(f"=== {path}")
        print("\n".join(l for l in log.splitlines() if not NOISE.search(l)))
    if failed:
        print(f"clang-tidy: Befunde in {len(failed)} von {len(units)} Dateien", file=sys.stderr)
        return 1
    print(f"clang-tidy: {len(units)} Dateien ohne Befund ({len(due)} geprüft, "
          f"{len(units) - len(due)} unverändert seit ihrer letzten Prüfung)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
