#!/usr/bin/env bash
# The static analysis under the name it has always been called by; run-clang-tidy.py says what
# it checks and what it remembers.
# Usage: run-clang-tidy.sh SOURCE-DIR BUILD-DIR [FILE-REGEX]
exec python3 "$(dirname "${BASH_SOURCE[0]}")/run-clang-tidy.py" "$@"
