# bash completion for korvid and korvid-sim
_korvid() {
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}
    if [ "$COMP_CWORD" -eq 1 ]; then
        COMPREPLY=($(compgen -W "asm clock debug debugimage disasm erase help hex lsp program read sim test verify --help --version" -- "$cur"))
        return
    fi
    case $prev in
        --port) COMPREPLY=($(compgen -W "COM1 COM2 COM3 COM4" -- "$cur")) ; return ;;
        --family) COMPREPLY=($(compgen -W "28l 52" -- "$cur")) ; return ;;
        help) COMPREPLY=($(compgen -W "asm clock debug debugimage disasm erase hex lsp program read sim test verify" -- "$cur")) ; return ;;
    esac
    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "--family --port --freq --wreg --run --help -o -l --cycles --for --clock --stimulus --vcd --vcd-reg --uart-out --until-break --gtkw --serial --serial-link -j --junit --vcd-dir" -- "$cur"))
    else
        COMPREPLY=($(compgen -f -- "$cur"))
    fi
}
complete -o filenames -F _korvid korvid
