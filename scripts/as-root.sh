# Sourced by the set-up scripts: how to run a package-manager step as root.
# need_root "What needs root" 'the command to run as root'
# sets the array as_root to () for root and to (sudo) when sudo lets this user run commands (asking
# for the password now, so the prompt does not land in the middle of a step's line). Without sudo,
# or when sudo refuses (the user may not use it, or there is no terminal for the password), it
# prints the command to run as root instead, ready to paste, and exits with status 1.
need_root() {
    as_root=()
    [ "$(id -u)" -eq 0 ] && return 0
    if command -v sudo >/dev/null 2>&1; then
        if sudo -v; then
            as_root=(sudo)
            return 0
        fi
        cat >&2 <<MSG
$1 needs root rights, and sudo refused (its words are above). Run as root:
    su -c '$2'
and then this command again.
MSG
        exit 1
    fi
    cat >&2 <<MSG
$1 needs root rights, and sudo is not installed. Either run as root:
    su -c '$2'
and then this command again, or install sudo first (as root: apt-get install sudo && adduser $(id -un) sudo,
then log in again).
MSG
    exit 1
}
