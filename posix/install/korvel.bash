# bash completion for korvel: its commands, their options, the TAGs of the
# store and the types; after session's --, commands and files.
_korvel() {
  local cur prev words cword
  _init_completion 2>/dev/null || {
    cur=${COMP_WORDS[COMP_CWORD]}; prev=${COMP_WORDS[COMP_CWORD-1]}
    words=("${COMP_WORDS[@]}"); cword=$COMP_CWORD
  }
  local commands="reply list show add set rename delete export import where session"
  local command="" store=() i
  for ((i = 1; i < cword; i++)); do
    case ${words[i]} in
      --store) store=(--store "${words[i+1]}"); ((i++)) ;;
      --store=*) store=("${words[i]}") ;;
      --) [[ $command == session ]] && break ;;
      -*) ;;
      *) [[ -z $command ]] && command=${words[i]} ;;
    esac
  done
  case $prev in
    --store) COMPREPLY=($(compgen -f -- "$cur")); return ;;
    --type) COMPREPLY=($(compgen -W "matrix matrix0 md2 md5 nos-md5 itanet flexnet flexnet-digits" -- "$cur")); return ;;
    --prompt|--matrix-len|--reply-line|--trigger|--key|--quiet-ms|--offer-ms|--asked-ms) return ;;
    --log) COMPREPLY=($(compgen -f -- "$cur")); return ;;
  esac
  if [[ -z $command ]]; then
    COMPREPLY=($(compgen -W "$commands --store --help --version" -- "$cur"))
    return
  fi
  local options=""
  case $command in
    reply) options="--copy" ;;
    show) options="--reveal" ;;
    add) options="--type --prompt --matrix-len --reply-line --trigger" ;;
    set) options="--type --prompt --matrix-len --reply-line --trigger --password" ;;
    session) options="--auto --key --log --quiet-ms --offer-ms --asked-ms --" ;;
    import) options="--yes" ;;
  esac
  if [[ $command == session ]]; then
    # After --, COMMAND and its arguments complete as the shell's own would.
    for ((i = 1; i < cword; i++)); do
      if [[ ${words[i]} == -- ]]; then
        if ((i + 1 == cword)); then
          COMPREPLY=($(compgen -c -- "$cur"))
        else
          COMPREPLY=($(compgen -f -- "$cur"))
        fi
        return
      fi
    done
  fi
  if [[ $cur == -* ]]; then
    COMPREPLY=($(compgen -W "$options --help" -- "$cur"))
  elif [[ $command == @(show|set|rename|delete) ]]; then
    local tags
    tags=$(korvel "${store[@]}" list 2>/dev/null | cut -f2)
    COMPREPLY=($(compgen -W "$tags" -- "$cur"))
  elif [[ $command == @(export|import) ]]; then
    COMPREPLY=($(compgen -f -- "$cur"))
  fi
}
complete -F _korvel korvel
