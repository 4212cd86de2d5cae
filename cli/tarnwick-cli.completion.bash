# SPDX-License-Identifier: GPL-2.0-or-later
# bash completion for tarnwick-cli. The commands, their options and their
# arguments are read from the program's own --help, so that they stay what the
# installed program takes; --port offers the ports that `tarnwick-cli ports`
# lists, --item the image types of the package named on the line.

# The usage text: of the command given, or of the program.
_tarnwick_cli_usage() {
    "$1" ${2:+"$2"} --help 2>/dev/null
}

# The commands: the second word of each usage line of the program.
_tarnwick_cli_commands() {
    _tarnwick_cli_usage "$1" | awk '$1 ~ /tarnwick-cli$/ && $2 ~ /^[a-z][a-z-]*$/ { print $2 }'
}

# The options that take a value: those followed by an upper-case word.
_tarnwick_cli_value_options() {
    _tarnwick_cli_usage "$1" "$2" | grep -oE -- '--[a-z][a-z-]* [A-Z]' | cut -d' ' -f1
}

# Each port as its number and as its device.
_tarnwick_cli_ports() {
    "$1" ports 2>/dev/null | awk -F'\t' '{ sub(/^COM/, "", $1); print $1; print $2 }'
}

# The image types of the items of a package file.
_tarnwick_cli_item_types() {
    local package=$2
    [[ $package == "~/"* ]] && package=$HOME/${package#"~/"}
    [[ -f $package ]] || return
    "$1" inspect "$package" --json 2>/dev/null | sed -n 's/^ *"typeName": "\(.*\)",\{0,1\}$/\1/p'
}

_tarnwick_cli() {
    local cur prev words cword
    _init_completion -n : || return

    local program=${words[0]} command= package= index word value_options
    value_options=$(_tarnwick_cli_value_options "$program" "")
    # The command is the first word that is no option; the package, the
    # first after it that is no option's value.
    for ((index = 1; index < cword; index++)); do
        word=${words[index]}
        if [[ $word == -* ]]; then
            [[ -n $command && $'\n'$value_options$'\n' == *$'\n'$word$'\n'* ]] && ((index++))
        elif [[ -z $command ]]; then
            command=$word
            value_options=$(_tarnwick_cli_value_options "$program" "$command")
        elif [[ -z $package ]]; then
            package=$word
        fi
    done

    if [[ -z $command ]]; then
        if [[ $cur == -* ]]; then
            COMPREPLY=($(compgen -W '--help --version' -- "$cur"))
        else
            COMPREPLY=($(compgen -W "$(_tarnwick_cli_commands "$program")" -- "$cur"))
        fi
        return
    fi

    case $prev in
        --port)
            COMPREPLY=($(compgen -W "$(_tarnwick_cli_ports "$program")" -- "$cur"))
            return
            ;;
        --item)
            COMPREPLY=($(compgen -W "$(_tarnwick_cli_item_types "$program" "$package")" -- "$cur"))
            __ltrim_colon_completions "$cur"
            return
            ;;
        --extract)
            _filedir -d
            return
            ;;
        --list)
            _filedir xml
            return
            ;;
    esac
    # Any other option with a value: a number such as --bps, left to the user.
    [[ $prev == -* && $'\n'$value_options$'\n' == *$'\n'$prev$'\n'* ]] && return

    # The file the command reads first, then its options.
    local usage
    usage=$(_tarnwick_cli_usage "$program" "$command")
    if [[ $cur != -* && -z $package && $usage == *.xml* ]]; then
        _filedir xml
    elif [[ $cur != -* && -z $package && $usage == *FIRMWARE-FILE* ]]; then
        _filedir '@(bin|rbf)'
    else
        COMPREPLY=($(compgen -W "$(grep -oE -- '--[a-z][a-z-]*' <<<"$usage" | sort -u) --help" -- "$cur"))
    fi
} &&
    complete -F _tarnwick_cli tarnwick-cli
