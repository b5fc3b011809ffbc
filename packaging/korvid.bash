# bash completion for korvid. The commands and each command's own options
# come from the program's help (korvid --help, korvid COMMAND --help), which
# prints the rows its option scanner reads: the completion cannot offer an
# option the command does not take, nor miss one it does.

# The commands of `korvid --help`.
_korvid_commands() {
    "$1" --help 2>/dev/null | awk '/^commands:/ { on = 1; next } on && /^$/ { exit } on { print $2 }'
}

# The option rows of `korvid COMMAND --help`: "NAME VALUE" a line (no VALUE
# for a flag); an option's other spelling is a line of its own.
_korvid_options() {
    "$1" "$2" --help 2>/dev/null | awk '
        /^options:/ { on = 1; next }
        on && /^$/ { exit }
        on && /^  -/ {
            spelling = substr($0, 3)
            sub(/  .*/, "", spelling)
            n = split(spelling, word, " ")
            value = word[n] ~ /^-/ ? "" : word[n]
            for (i = 1; i <= n; i++)
                if (word[i] ~ /^-/) { name = word[i]; sub(/,$/, "", name); print name, value }
        }'
}

_korvid() {
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]} korvid=${COMP_WORDS[0]}
    COMPREPLY=()
    if [ "$COMP_CWORD" -eq 1 ]; then
        COMPREPLY=($(compgen -W "$(_korvid_commands "$korvid") help --help --version" -- "$cur"))
        return
    fi
    local command=${COMP_WORDS[1]}
    if [ "$command" = help ]; then
        [ "$COMP_CWORD" -eq 2 ] && COMPREPLY=($(compgen -W "$(_korvid_commands "$korvid")" -- "$cur"))
        return
    fi
    local rows value
    rows=$(_korvid_options "$korvid" "$command")
    # After an option that takes a value: its choices where the help spells
    # them (28l|52, strict|extended), the port names, else file names.
    value=$(printf '%s\n' "$rows" | awk -v name="$prev" '$1 == name { print $2; exit }')
    if [ -n "$value" ]; then
        if [[ $value == COMn* ]]; then
            COMPREPLY=($(compgen -W "COM1 COM2 COM3 COM4" -- "$cur") $(compgen -f -- "$cur"))
        elif [[ $value =~ ^[a-z0-9]+(\|[a-z0-9]+)+$ ]]; then
            COMPREPLY=($(compgen -W "${value//|/ }" -- "$cur"))
        else
            COMPREPLY=($(compgen -f -- "$cur"))
        fi
        return
    fi
    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "$(printf '%s\n' "$rows" | awk '{ print $1 }')" -- "$cur"))
    else
        COMPREPLY=($(compgen -f -- "$cur"))
    fi
}
complete -o filenames -F _korvid korvid
