#!/bin/sh
# Stands in for proj2wav (the program named by $PROGRAM) when help2man writes its
# manual page. --version passes through. --help prints the program's help and then
# that of each of its commands, in the shape help2man makes sections of: every
# command's usage in the synopsis, GNU-style option names ("-o, --output"), and a
# COMMANDS section with one subsection per command and its options. New commands
# and options thus reach the page without editing it.
set -eu
[ "${1-}" = --help ] || exec "$PROGRAM" "$@"

gnu_option_names() { sed 's/^\( *-[[:alnum:]]\),--/\1, --/'; }

help=$("$PROGRAM" --help)
# The commands: the names listed under "Subcommands:", up to the next blank line.
commands=$(printf '%s\n' "$help" |
  awk '/^Subcommands:$/ { listed = 1; next } listed && /^$/ { exit } listed && /^  [^ ]/ { print $1 }')

USAGES=""
for command in $commands; do
  USAGES="$USAGES  or:  $("$PROGRAM" "$command" --help | sed -n 's/^Usage: //p')
"
done
export USAGES

# The program's own help up to its list of commands, every command's usage after its own.
printf '%s\n' "$help" |
  awk '/^Subcommands:$/ { exit } { print } /^Usage: / { printf "%s", ENVIRON["USAGES"] }' |
  gnu_option_names

# Each command: its usage as the heading, its summary, then its arguments and options
# (the indented lines; headings and the footer are left out).
echo '*Commands*'
for command in $commands; do
  "$PROGRAM" "$command" --help |
    awk 'NR == 1 { summary = $0; next }
         /^Usage: / { sub(/^Usage: /, ""); print $0 ":"; print "  " summary; print ""; next }
         /^ / { print }' |
    gnu_option_names
  echo
done
