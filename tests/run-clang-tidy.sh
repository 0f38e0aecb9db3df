#!/usr/bin/env bash
# Runs clang-tidy with the checks of the root's .clang-tidy over every translation unit of the
# project's own sources in a build's compile_commands.json (generated code left out), two at a
# time per core. Prints each finding with its file and line; fails on any.
# Usage: run-clang-tidy.sh SOURCE-DIR BUILD-DIR [FILE-REGEX]
set -euo pipefail
src=$1 build=$2 only=${3:-.}
tidy=${CLANG_TIDY:-clang-tidy}

mapfile -t files < <(python3 - "$src" "$build" "$only" <<'PY'
import json, os, re, sys
src, build = (os.path.realpath(p) for p in sys.argv[1:3])
only = sys.argv[3]
with open(os.path.join(build, "compile_commands.json")) as f:
    entries = json.load(f)
# Stand-ins for glibc's own functions, whose parameters glibc names; left unchecked.
foreign = {os.path.join(src, "tests/guest/NoNameService.cpp")}
seen = set()
for e in entries:
    path = os.path.realpath(os.path.join(e["directory"], e["file"]))
    if not path.startswith(src + os.sep) or path.startswith(build + os.sep):
        continue
    if re.search(only, path) and path not in seen and path not in foreign:
        seen.add(path)
        print(path)
PY
)
if ((${#files[@]} == 0)); then
    echo "keine Übersetzungseinheiten in $build/compile_commands.json" >&2
    exit 1
fi

out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
# From clang-tidy 19 on (Debian 13), cert-err33-c's function names are regular expressions that
# match anywhere in a qualified name, so "::remove" would stand for QFile::remove and "::send" for
# QCoreApplication::sendEvent too; anchored, each names the C function it names for clang-tidy 14.
config="$src/.clang-tidy"
major=$("$tidy" --version | sed -n 's/.*LLVM version \([0-9]*\).*/\1/p')
if [ "${major:-0}" -ge 19 ]; then
    config="$out/clang-tidy.yaml"
    python3 - "$src/.clang-tidy" "$config" <<'PY'
import re, sys
text = open(sys.argv[1]).read()
def anchor(m):
    names = [n for n in m.group(2).split(";") if n]
    return m.group(1) + ";".join("^" + n + "$" for n in names) + "'"
text = re.sub(r"(key: cert-err33-c\.CheckedFunctions\n\s*value: ')([^']*)'", anchor, text)
open(sys.argv[2], "w").write(text)
PY
fi
export tidy build out config
# One log per file, so that the findings of files checked side by side do not interleave.
printf '%s\n' "${files[@]}" | xargs -P "$(nproc)" -I{} sh -c \
    'log="$out/$(echo "{}" | tr / _).log"
     "$tidy" -p "$build" --config-file="$config" --quiet --extra-arg=-Wno-unknown-warning-option "{}" >"$log" 2>&1 ||
         echo "{}" >>"$out/failed"' || true

if [ -s "$out/failed" ]; then
    for f in $(sort "$out/failed"); do
        echo "=== $f"
        grep -v -E '^[0-9]+ warnings? (and [0-9]+ errors? )?generated\.$|^Suppressed [0-9]+ warnings|^Use -header-filter|^Use -system-headers' \
            "$out/$(echo "$f" | tr / _).log" || true
    done
    echo "clang-tidy: Befunde in $(sort -u "$out/failed" | wc -l) von ${#files[@]} Dateien" >&2
    exit 1
fi
echo "clang-tidy: ${#files[@]} Dateien ohne Befund"
