#!/usr/bin/env bash
# The static analysis remembers only clean results, and only while nothing they depend on
# changed: in a one-file project, a finding planted in the included header and then in the
# file itself fails the run each time, whether or not the project was rebuilt in between.
#
#   check-clang-tidy-memory.sh RUN-CLANG-TIDY [CMAKE]
set -euo pipefail
tidy_run=$1
cmake=${2:-cmake}

work=$(mktemp -d "${TMPDIR:-/tmp}/kelmora-tidy-memory.XXXXXX")
trap 'rm -rf "$work"' EXIT
src=$work/src build=$work/build
mkdir -p "$src"
cat >"$src/CMakeLists.txt" <<'CMAKE'
cmake_minimum_required(VERSION 3.25)
project(TidyMemory LANGUAGES CXX)
set(CMAKE_EXPORT_COMPILE_COMMANDS ON)
add_library(unit STATIC Unit.cpp)
CMAKE
cat >"$src/.clang-tidy" <<'TIDY'
Checks: '-*,modernize-use-nullptr'
WarningsAsErrors: '*'
HeaderFilterRegex: '.*'
TIDY
clean_header='inline int* Nothing() { return nullptr; }'
clean_unit='#include "Unit.h"
int* Get() { return Nothing(); }'
echo "$clean_header" >"$src/Unit.h"
echo "$clean_unit" >"$src/Unit.cpp"
"$cmake" -S "$src" -B "$build" -G Ninja >/dev/null
"$cmake" --build "$build" >/dev/null

step=0
expect() { # clean|finding CHECKED-COUNT|-, what changed
    step=$((step + 1))
    local out status=0
    out=$("$tidy_run" "$src" "$build" 2>&1) || status=$?
    if [ "$1" = clean ] && { [ $status -ne 0 ] || ! grep -q "($2 geprüft" <<<"$out"; }; then
        echo "Schritt $step ($3): erwartet sauber, $2 geprüft; bekommen:" >&2
        echo "$out" >&2
        exit 1
    fi
    if [ "$1" = finding ] && { [ $status -eq 0 ] || ! grep -q modernize-use-nullptr <<<"$out"; }; then
        echo "Schritt $step ($3): erwartet ein Befund; bekommen:" >&2
        echo "$out" >&2
        exit 1
    fi
}

expect clean 1 "erster Lauf"
expect clean 0 "nichts geändert"
echo "${clean_header/nullptr/0}" >"$src/Unit.h"
expect finding - "Befund im Kopf, nicht neu gebaut"
"$cmake" --build "$build" >/dev/null
expect finding - "Befund im Kopf, neu gebaut"
echo "$clean_header" >"$src/Unit.h"
expect clean 0 "Kopf wie zuvor"
echo "${clean_unit/Nothing()/0}" >"$src/Unit.cpp"
expect finding - "Befund in der Datei selbst"
"$cmake" --build "$build" >/dev/null
expect finding - "Befund in der Datei selbst, neu gebaut"
echo "$clean_unit" >"$src/Unit.cpp"
"$cmake" --build "$build" >/dev/null
expect clean 0 "Datei wie zuvor"
echo "tidy memory: $step Schritte wie erwartet"
