#!/usr/bin/env bash
# Renders every manual page in DIR as groff and as man-db (the way lintian does) and fails on any
# warning. The pages are plain ASCII with roff escapes, so that groff without preconv renders
# them as man does.
set -euo pipefail
dir=$1
shopt -s nullglob
pages=("$dir"/*.1)
if ((${#pages[@]} == 0)); then
    echo "Keine Handbuchseiten in $dir." >&2
    exit 1
fi
status=0
for page in "${pages[@]}"; do
    complaints=$(
        LC_ALL=C grep -n '[^[:print:][:space:]]' "$page" | sed 's/^/nicht ASCII: /' || true
        groff -man -Tutf8 -ww -z "$page" 2>&1
        LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 \
            man --warnings -E UTF-8 -l -Tutf8 -Z "$page" 2>&1 >/dev/null
    )
    if [ -n "$complaints" ]; then
        printf '%s:\n%s\n' "$page" "$complaints"
        status=1
    fi
done
exit "$status"
