#!/bin/sh
# Prints harmonyfox-cli's help as one text, for help2man to make the manual
# page of: the program's own --help, then each command's --help in a section
# of its own. Each command's "Options:" heading is renamed so that help2man
# keeps the options with their command. The program is $HARMONYFOX_CLI.
set -eu
cli=${HARMONYFOX_CLI:?HARMONYFOX_CLI names the harmonyfox-cli to describe}
case ${1:-} in
  --version) exec "$cli" --version ;;
  --help) ;;
  *) echo "usage: HARMONYFOX_CLI=PROGRAM $0 --help|--version" >&2; exit 2 ;;
esac
"$cli" --help | sed '1s/^usage:/Usage:/'
for command in $("$cli" --help | sed -n '/^Commands:$/,/^$/s/^  \([a-z-]*\)  *.*/\1/p'); do
  printf '\n*Command %s*\n\n' "$command"
  "$cli" "$command" --help | sed "s/^Options:\$/Options of $command:/"
done
