#!/usr/bin/env bash
# Builds the Debian package from the build tree BUILD into a directory of its own and fails on
# any error or warning of lintian, on a file `cmake --install` installs that the package lacks
# or the other way round. Informational tags are shown, not judged. Runs under umask 077, so
# that modes taken from the umask show up as lintian warnings.
set -euo pipefail
build=$1
cpack=${2:-cpack}
cmake=${3:-cmake}
umask 077

if ! command -v lintian >/dev/null; then
    echo "lintian fehlt (scripts/setup installiert es)." >&2
    exit 1
fi
work=$(mktemp -d "${TMPDIR:-/tmp}/kelmora-package.XXXXXX")
trap 'rm -rf "$work"' EXIT

if ! "$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$work/deb" >"$work/cpack.log" 2>&1; then
    cat "$work/cpack.log"
    exit 1
fi
deb=("$work"/deb/*.deb)
echo "${deb[@]}"

status=0
# lintian warns on stderr when run as root; that is not about the package.
report=$(lintian --display-info --fail-on none "${deb[@]}" 2>/dev/null)
echo "$report"
if grep -q '^[EW]: ' <<<"$report"; then
    echo "lintian meldet Fehler oder Warnungen." >&2
    status=1
fi

# The same files as `cmake --install` (file names only: the package's programs are stripped).
DESTDIR="$work/root" "$cmake" --install "$build" --prefix /usr >/dev/null
installed=$(cd "$work/root" && find . ! -type d | sort)
packed=$(dpkg-deb --fsys-tarfile "${deb[0]}" | tar -t | grep -v '/$' | sort)
if [ "$installed" != "$packed" ]; then
    echo "cmake --install und das Paket unterscheiden sich:" >&2
    diff <(echo "$installed") <(echo "$packed") >&2 || true
    status=1
fi
exit "$status"
