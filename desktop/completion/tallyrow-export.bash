# bash completion for tallyrow-export -*- shell-script -*-

# The names of the users (or computers) in the data file the command line names, from the Users
# report over every day; nothing when the report does not come within two seconds.
_tallyrow_export_names()
{
    local by=$1 data="" i
    for ((i = 1; i < ${#COMP_WORDS[@]} - 1; i++)); do
        case ${COMP_WORDS[i]} in
            --data) data=${COMP_WORDS[i + 1]} ;;
            --data=*) data=${COMP_WORDS[i]#--data=} ;;
        esac
    done
    local args=(--report users --by "$by" --from 0100-01-01 --to 9999-12-31 --format csv --output -)
    [[ -n $data ]] && args=(--data "$data" "${args[@]}")
    timeout 2 "${COMP_WORDS[0]}" "${args[@]}" 2>/dev/null |
        tail -n +2 | sed -e 's/,[^,]*,[^,]*,[^,]*\r\?$//' -e 's/^"\(.*\)"$/\1/' -e 's/""/"/g'
}

_tallyrow_export()
{
    local cur prev words cword
    _init_completion -s || return

    case $prev in
        --data | --document)
            _filedir '@(yrd|mdb|accdb|rdf)'
            return
            ;;
        --output)
            _filedir
            return
            ;;
        --report) COMPREPLY=($(compgen -W 'day totals users' -- "$cur")); return ;;
        --format) COMPREPLY=($(compgen -W 'pdf txt rtf xls rdf csv xlsx html json' -- "$cur")); return ;;
        --last) COMPREPLY=($(compgen -W 'day week month quarter year' -- "$cur")); return ;;
        --aggregate) COMPREPLY=($(compgen -W 'average total maximum minimum' -- "$cur")); return ;;
        --chart-shows) COMPREPLY=($(compgen -W 'average each both' -- "$cur")); return ;;
        --period) COMPREPLY=($(compgen -W 'days weeks months years' -- "$cur")); return ;;
        --scale) COMPREPLY=($(compgen -W 'seconds minutes hours' -- "$cur")); return ;;
        --by) COMPREPLY=($(compgen -W 'user computer pair' -- "$cur")); return ;;
        --days) COMPREPLY=($(compgen -W 'mon,tue,wed,thu,fri mon tue wed thu fri sat sun' -- "$cur")); return ;;
        --chart | --user | --computer)
            # Offered as they are; readline escapes the blanks and quotes they hold.
            local choice choices
            if [[ $prev == --chart ]]; then
                choices=$'3D Bar\n2D Bar\n3D Line\n2D Line\n3D Area\n2D Area\n3D Step\n2D Step\n3D Combination\n2D Combination\n2D Pie\n2D XY'
            else
                choices=$(_tallyrow_export_names "${prev#--}")
            fi
            # What is typed so far, without the backslashes or quotes it was typed with.
            local typed=$cur
            [[ $typed == *[\\\'\"]* ]] && typed=$(dequote "$cur")
            while IFS= read -r choice; do
                [[ -n $choice && $choice == "$typed"* ]] && COMPREPLY+=("$choice")
            done <<<"$choices"
            compopt -o filenames 2>/dev/null
            return
            ;;
        --from | --to | --as-of | --count | --offset | --units | --wait | --locale)
            return
            ;;
    esac

    $split && return

    if [[ $cur == -* || -z $cur ]]; then
        COMPREPLY=($(compgen -W '--data --report --from --to --last --count --offset --as-of
            --user --computer --days --aggregate --chart-shows --units --period --scale --by
            --chart --details --no-cache --wait --locale --heat-map --key-figures --compare
            --format --output --document --help --version' -- "$cur"))
    fi
} &&
    complete -F _tallyrow_export tallyrow-export

# ex: filetype=sh
