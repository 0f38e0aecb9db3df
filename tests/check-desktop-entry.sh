#!/usr/bin/env bash
# Installs the build tree BUILD into a directory of its own and checks what the desktop reads of
# it: the menu entry passes desktop-file-validate without a word, and the AppStream component,
# installed as usr/share/metainfo/<id>.metainfo.xml, passes `appstreamcli validate --pedantic`
# on its own and, together with the entry and the icons, `validate-tree --pedantic` with no
# error or warning. Infos and pedantic notes are shown, not judged.
#
#   check-desktop-entry.sh BUILD [CMAKE]
set -euo pipefail
build=$1
cmake=${2:-cmake}

for tool in desktop-file-validate appstreamcli; do
    command -v "$tool" >/dev/null || {
        echo "$tool fehlt (scripts/setup --tests installiert es)." >&2
        exit 1
    }
done
work=$(mktemp -d "${TMPDIR:-/tmp}/kelmora-desktop.XXXXXX")
trap 'rm -rf "$work"' EXIT
DESTDIR="$work/root" "$cmake" --install "$build" --prefix /usr >/dev/null
share="$work/root/usr/share"

status=0
complain() {
    echo "$*" >&2
    status=1
}

entries=("$share"/applications/*.desktop)
[ ${#entries[@]} -eq 1 ] && [ -f "${entries[0]}" ] || complain "nicht genau ein Menüeintrag installiert"
for entry in "${entries[@]}"; do
    report=$(desktop-file-validate "$entry" 2>&1) || status=1
    [ -z "$report" ] || complain "$report"
done

components=("$share"/metainfo/*.metainfo.xml)
[ ${#components[@]} -eq 1 ] && [ -f "${components[0]}" ] || complain "nicht genau eine AppStream-Datei installiert"
for component in "${components[@]}"; do
    id=$(sed -n 's:^ *<id>\(.*\)</id>$:\1:p' "$component")
    [ "$(basename "$component")" = "$id.metainfo.xml" ] ||
        complain "$(basename "$component") heißt nicht wie die Kennung „$id“"
    launchable=$(sed -n 's:^ *<launchable type="desktop-id">\(.*\)</launchable>$:\1:p' "$component")
    [ "$share/applications/$launchable" = "${entries[0]}" ] ||
        complain "launchable „$launchable“ ist nicht der installierte Menüeintrag"
done

# appstreamcli fails on errors and warnings; infos and pedantic notes leave it at 0. Without the
# network: a test must not depend on it, and the project's domain is a placeholder.
check_appstream() { # command, arguments…
    local command=$1 report code=0
    shift
    report=$(appstreamcli "$command" --pedantic --no-net --no-color "$@" 2>&1) || code=$?
    echo "appstreamcli $command: $report"
    if [ "$code" -ne 0 ] || grep -qE '^ *[EW]: ' <<<"$report"; then
        complain "appstreamcli $command meldet Fehler oder Warnungen (Status $code)."
    fi
}
check_appstream validate "${components[@]}"
check_appstream validate-tree "$work/root"
exit "$status"
