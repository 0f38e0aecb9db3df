# bash completion for kelmora-send                                -*- shell-script -*-
# The options are those `kelmora-send --help` lists; a ctest compares the two.

_kelmora_send() {
    local cur prev words cword
    # "=" stays inside a word: "--led 2=bl" and "--baud=96" are one word each here.
    if declare -F _comp_initialize >/dev/null; then
        _comp_initialize -n = -- "$@" || return
    else
        _init_completion -n = || return
    fi

    local -a replies=()
    local arg="$cur" option="" i
    # After "--" every argument is text; --help, --version and --list take no items.
    for ((i = 1; i < cword; i++)); do
        case ${words[i]} in
        --) option=text ;;
        --help | --version | --list) [[ $option == text ]] || return 0 ;;
        esac
    done
    if [[ -z $option ]]; then
        if [[ $cur == --*=* ]]; then
            option=${cur%%=*}
            arg=${cur#*=}
        elif [[ $prev == -[pbl] || $prev == --@(port|baud|led) ]]; then
            option=$prev
        fi
    fi

    case $option in
    -p | --port)
        if [[ $arg == /* ]]; then
            # Any device by its path.
            compopt -o filenames 2>/dev/null
            mapfile -t replies < <(compgen -f -- "$arg")
        else
            local -a ports=(COM1 COM2 COM3 COM4)
            local device
            for device in /dev/serial/by-id/* /dev/ttyUSB* /dev/ttyACM*; do
                [[ -e $device ]] && ports+=("$device")
            done
            mapfile -t replies < <(compgen -W '"${ports[@]}"' -- "$arg")
        fi
        ;;
    -b | --baud)
        mapfile -t replies < <(compgen -W '2400 9600 14400 19200 38400' -- "$arg")
        ;;
    -l | --led)
        mapfile -t replies < <(compgen -W '{1,2,3}={an,aus,blink}' -- "$arg")
        ;;
    "")
        if [[ $cur == -* ]]; then
            mapfile -t replies < <(compgen -W '--port --baud --clear --led --list --help
                --version -p -b -c -l' -- "$cur")
        else
            option=files
        fi
        ;;
    esac

    if [[ $option == files || $option == text ]]; then
        if declare -F _comp_compgen_filedir >/dev/null; then
            _comp_compgen_filedir
        else
            _filedir
        fi
        return
    fi
    # Readline replaces the word after the last "=" when it breaks words there, else the
    # whole "--option=value".
    if [[ $COMP_WORDBREAKS == *=* ]]; then
        [[ $arg == *=* ]] && replies=("${replies[@]#"${arg%=*}="}")
    elif [[ $arg != "$cur" ]]; then
        replies=("${replies[@]/#/"${cur%%=*}="}")
    fi
    COMPREPLY=("${replies[@]}")
} && complete -F _kelmora_send kelmora-send

# ex: filetype=sh
