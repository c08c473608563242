#!/bin/sh
# Stands in for veltrane-cli ($VELTRANE_CLI) while help2man writes the manual page: --help prints
# the program's help with the usage line of every subcommand, then each subcommand's own help
# under a heading; everything else goes to the program itself.
set -e
cli=${VELTRANE_CLI:?VELTRANE_CLI names the veltrane-cli to describe}
if [ "${1:-}" != --help ]; then
    exec "$cli" "$@"
fi
help=$("$cli" --help)
subs=$(printf '%s\n' "$help" | sed -n '/^Subcommands:/,/^$/s/^  \([a-z][a-z0-9-]*\)  .*/\1/p')
printf '%s\n' "$help" | while IFS= read -r line; do
    printf '%s\n' "$line"
    case "$line" in
    Usage:*)
        for sub in $subs; do
            "$cli" "$sub" --help | sed -n 's/^Usage: /  or:  /p'
        done ;;
    esac
done
for sub in $subs; do
    printf '\nSubcommand %s:\n' "$sub"
    # The summary line, then the arguments, without the usage line, the group headings and -h.
    "$cli" "$sub" --help | awk '
        NR == 1 { print "  " $0 "\n"; next }
        /^Usage: / || /^[A-Za-z]+:$/ || /-h,--help/ || /^$/ { next }
        { print }'
done
