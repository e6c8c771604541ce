#!/bin/sh
# help2man include files made from a program's own --help, so a man page
# cannot drift from the program.
#   help-sections.sh commands TESSARY-CLI OUTPUT
#       COMMANDS: each command's --help, less the options every command takes
#       (those are under OPTIONS once)
#   help-sections.sh verbatim PROGRAM OUTPUT
#       DESCRIPTION: the --help text after its Usage line, as it is laid out
#       (help2man would reflow a nested list)
set -euf  # no globbing: usages hold brackets
mode="$1"
program="$2"
out="$3"

# Each line of standard input as a line of roff, set as it is.
verbatim() {
  echo ".nf"
  sed 's/\\/\\e/g; s/^/\\\&/'
  echo ".fi"
}

case "$mode" in
commands)
  common="$out.common"
  "$program" --help | sed -n '/^Options of every command/,/^$/{/^  /p}' >"$common"
  {
    echo "[COMMANDS]"
    "$program" --help | sed -n '/^Commands:/,/^$/{/^  /p}' | sed 's/^  //; s/  .*//' |
      while read -r usage; do
        echo ".SS $usage"
        # shellcheck disable=SC2086  # the words of the usage are the arguments
        "$program" $usage --help | sed '/^Usage:/,/^$/d' | grep -vxF -f "$common" |
          awk '/^Options:$/ { held = $0; next }
               held != "" && /^  / { print held; held = "" }
               held != "" { held = "" }
               { print }' | verbatim
      done
  } >"$out.tmp"
  rm -f "$common"
  ;;
verbatim)
  {
    echo "[=DESCRIPTION]"
    "$program" --help | sed '1,/^Usage:/d' | verbatim
  } >"$out.tmp"
  ;;
*)
  echo "help-sections.sh: unknown mode $mode" >&2
  exit 2
  ;;
esac
mv "$out.tmp" "$out"
