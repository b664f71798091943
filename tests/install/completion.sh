# The installed bash completion: it loads without a word on stderr, bash-completion finds it where it was
# installed, it offers what each command's --help lists, and it completes what a user types. Sourced by run.sh.
completion=$prefix/share/bash-completion/completions/skiff
quiet "the completion loads in a plain bash" bash --norc --noprofile -c "source '$completion'"
same "bash-completion loads it from the prefix" \
  "$(XDG_DATA_DIRS=$prefix/share bash --norc --noprofile -c \
    'source /usr/share/bash-completion/bash_completion; __load_completion skiff && complete -p skiff' 2>&1)" \
  "complete -F _skiff skiff"

mkdir -p "$work/files/sub"
touch "$work/files/a.pkg" "$work/files/B.PKG" "$work/files/note.txt"
# The words bash hands the completion for LINE (a line ending in a space starts a new, empty word), and what
# the completion answers, sorted, one a line.
completions() {
  (cd "$work/files" && bash --norc --noprofile -c '
    source "$1"
    read -ra COMP_WORDS <<<"$2"
    [[ $2 == *" " ]] && COMP_WORDS+=("")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    _skiff 2>/dev/null
    printf "%s\n" "${COMPREPLY[@]}" | sed "/^$/d" | sort' _ "$completion" "$1")
}

# Every option --help mentions, and only those, for "skiff COMMAND --".
for command in "${commands[@]}"; do
  same "skiff $command -- offers the options of its --help" "$(completions "skiff $command --")" \
    "$("$prefix/bin/skiff" "$command" --help | long_options)"
done

# What --port completes to besides the serial devices: the tcp: form where the help names it.
if "$prefix/bin/skiff" listen --help | grep -q 'tcp:'; then tcp=tcp:; else tcp=; fi

# What is typed | what the completion offers, space-separated. Bash splits "--baud=3" into "--baud", "=", "3".
completion_cases=(
  "skiff ins|install"
  "skiff |--help --version backup export import install keyboard listen send"
  "skiff frobnicate --|"
  "skiff install --ba|--baud"
  "skiff install --baud |115200 230400 2400 38400 57600 9600"
  "skiff install --baud = 3|38400"
  "skiff install --baud =|115200 230400 2400 38400 57600 9600"
  "skiff send --port CO|COM1 COM2 COM3 COM4"
  "skiff send --port = COM3|COM3"
  "skiff listen --port t|$tcp"
  "skiff listen --timeout |"
  "skiff send --window |"
  "skiff listen |--baud --frame-gap --help --port --rtscts --timeout --version"
  "skiff send --window 2 --w|--window"
  "skiff install |B.PKG a.pkg sub"
  "skiff send |B.PKG a.pkg note.txt sub"
  "skiff send -- --|"
)
for case in "${completion_cases[@]}"; do
  line=${case%%|*}
  same "completes '$line'" "$(completions "$line" | paste -sd' ')" "${case#*|}"
done

# The serial devices this machine has, and no pattern for the kinds it has none of.
same "completes 'skiff send --port /dev/' to the serial devices there are" \
  "$(completions "skiff send --port /dev/")" \
  "$(ls -d /dev/ttyS* /dev/ttyUSB* /dev/ttyACM* /dev/serial/by-id/* 2>/dev/null | sort)"
