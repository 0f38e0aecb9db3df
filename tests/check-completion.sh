#!/usr/bin/env bash
# Sources kelmora-send's completion as `cmake --install` installs it, under bash-completion, and
# checks what it offers for partial command lines, split into words as readline splits them
# (blanks and "=" of COMP_WORDBREAKS). The options offered for "-" must be those that
# `kelmora-send --help` lists.
#
#   check-completion.sh BUILD KELMORA-SEND [CMAKE]
set -euo pipefail
build=$1
send=$2
cmake=${3:-cmake}

bash_completion=/usr/share/bash-completion/bash_completion
[ -r "$bash_completion" ] || {
    echo "bash-completion fehlt (scripts/setup --tests installiert es)." >&2
    exit 1
}
work=$(mktemp -d "${TMPDIR:-/tmp}/kelmora-completion.XXXXXX")
trap 'rm -rf "$work"' EXIT
DESTDIR="$work/root" "$cmake" --install "$build" --prefix /usr >/dev/null
completion="$work/root/usr/share/bash-completion/completions/kelmora-send"
[ -f "$completion" ] || {
    echo "nicht installiert: ${completion#"$work/root"}" >&2
    exit 1
}

# shellcheck disable=SC1090
source "$bash_completion"
source "$completion"

# What the completion offers for LINE (the cursor at its end), sorted, one per line.
offered() {
    local line=$1 spaced
    COMP_LINE=$line
    COMP_POINT=${#line}
    spaced=${line//=/ = }
    read -r -a COMP_WORDS <<<"$spaced"
    [[ $line == *" " ]] && COMP_WORDS+=("")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMPREPLY=()
    _kelmora_send kelmora-send "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
    printf '%s\n' "${COMPREPLY[@]}" | sort
}

mkdir "$work/texts"
touch "$work/texts/gruss.txt" "$work/texts/gruss-lang.txt"
cd "$work/texts"

options=$(LC_ALL=C "$send" --help | grep -oE '^ +(-[a-z], )?--[a-z]+' | grep -oE -- '--?[a-z]+' | sort)
[ -n "$options" ] || {
    echo "kelmora-send --help nennt keine Optionen" >&2
    exit 1
}

status=0
# partial command line | what it must offer (blank-separated)
cases=(
    "kelmora-send -|$(echo $options)"
    "kelmora-send --b|--baud"
    "kelmora-send --l|--led --list"
    "kelmora-send --port C|COM1 COM2 COM3 COM4"
    "kelmora-send -p COM|COM1 COM2 COM3 COM4"
    "kelmora-send --port=COM3|COM3"
    "kelmora-send --port $work/texts/gruss.|$work/texts/gruss.txt"
    "kelmora-send --baud |14400 19200 2400 38400 9600"
    "kelmora-send -b 1|14400 19200"
    "kelmora-send --baud=3|38400"
    "kelmora-send --clear --led |1=an 1=aus 1=blink 2=an 2=aus 2=blink 3=an 3=aus 3=blink"
    "kelmora-send --led 2=|an aus blink"
    "kelmora-send -l 3=a|an aus"
    "kelmora-send --led=1=bl|blink"
    "kelmora-send --clear gr|gruss-lang.txt gruss.txt"
    "kelmora-send -- --led gruss.|gruss.txt"
    "kelmora-send --help |"
)
for case in "${cases[@]}"; do
    line=${case%%|*}
    want=${case#*|}
    got=$(offered "$line" | tr '\n' ' ')
    got=${got% }
    want=$(tr ' ' '\n' <<<"$want" | sort | tr '\n' ' ')
    want=${want% }
    if [ "$got" = "$want" ]; then
        echo "ok    „$line“ → $got"
    else
        echo "FEHLT „$line“ → „$got“, erwartet „$want“"
        status=1
    fi
done
exit "$status"
