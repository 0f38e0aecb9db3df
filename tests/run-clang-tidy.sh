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
export tidy build out
# One log per file, so that the findings of files checked side by side do not interleave.
printf '%s\n' "${files[@]}" | xargs -P "$(nproc)" -I{} sh -c \
    'log="$out/$(echo "{}" | tr / _).log"
     "$tidy" -p "$build" --quiet --extra-arg=-Wno-unknown-warning-option "{}" >"$log" 2>&1 ||
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
