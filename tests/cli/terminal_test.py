#!/usr/bin/env python3
"""veltrane-cli on a pseudo-terminal: colour only where --color and NO_COLOR allow it, never in JSON, the
plain output byte-identical to a pipe's when off, and no progress line on a short run.
Usage: terminal_test.py VELTRANE_CLI EXAMPLES_DIR"""
import os
import pty
import select
import shutil
import subprocess
import sys
import tty

CLI, EXAMPLES = sys.argv[1], sys.argv[2]
PACKAGE = os.path.join(EXAMPLES, "SamplePackage")
ESC = b"\x1b["


def on_terminal(args, env):
    """Runs with stdout and stderr each on a raw pseudo-terminal; returns (status, stdout, stderr)."""
    ends = [pty.openpty() for _ in range(2)]
    for _, slave in ends:
        tty.setraw(slave)
    proc = subprocess.Popen([CLI, *args], stdin=subprocess.DEVNULL, stdout=ends[0][1], stderr=ends[1][1], env=env)
    for _, slave in ends:
        os.close(slave)
    got = {ends[0][0]: b"", ends[1][0]: b""}
    open_fds = set(got)
    while open_fds:
        for fd in select.select(list(open_fds), [], [], 30)[0]:
            try:
                data = os.read(fd, 65536)
            except OSError:  # the other end closed
                data = b""
            if data:
                got[fd] += data
            else:
                open_fds.discard(fd)
    status = proc.wait(30)
    for fd, _ in ends:
        os.close(fd)
    return status, got[ends[0][0]], got[ends[1][0]]


def piped(args, env):
    proc = subprocess.run([CLI, *args], capture_output=True, env=env)
    return proc.returncode, proc.stdout, proc.stderr


def main():
    env = {k: v for k, v in os.environ.items() if k != "NO_COLOR"}
    plain = piped(["check", PACKAGE], env)
    assert plain[0] == 1 and ESC not in plain[1], plain
    # (how it runs, extra arguments, NO_COLOR, whether stdout is coloured)
    cases = [
        (on_terminal, [], None, True),
        (on_terminal, ["--color", "never"], None, False),
        (on_terminal, [], "1", False),
        (on_terminal, ["--color", "always"], "1", True),
        (piped, [], None, False),
        (piped, ["--color", "always"], None, True),
    ]
    for runner, extra, no_color, coloured in cases:
        case_env = dict(env, **({"NO_COLOR": no_color} if no_color else {}))
        status, out, err = runner(["check", *extra, PACKAGE], case_env)
        where = (runner.__name__, extra, no_color)
        assert status == 1, where
        if coloured:
            assert b"\x1b[1;31m" in out and b"\x1b[36m" in out and b"\x1b[1m-- package --" in out, (where, out)
            assert out.replace(b"\x1b[0m", b"").count(ESC) == out.count(b"\x1b[0m"), where
        else:
            assert out == plain[1], (where, out)
        # A short run draws no progress line, and stderr is never coloured.
        assert b"Checking" not in err and ESC not in err and b"\r" not in err, (where, err)
    status, out, _ = on_terminal(["check", "--json", "--color", "always", PACKAGE], env)
    assert status == 1 and ESC not in out and out.lstrip().startswith(b"{")
    # Completions name every subcommand and option, and each shell at hand reads its script.
    for shell in ("bash", "zsh", "fish"):
        status, script, _ = piped(["completions", shell], env)
        assert status == 0, shell
        for word in (b"names", b"paths", b"versions", b"list", b"package", b"check", b"html", b"always"):
            assert word in script, (shell, word)
        if shutil.which(shell):
            subprocess.run([shell, "-n"], input=script, check=True)
    assert piped(["completions", "tcsh"], env)[0] == 2
    complete = ('source <("$0" completions bash); for line in "pa" "check --co" "check --color " "package --ht"; do '
                'read -ra COMP_WORDS <<< "veltrane-cli $line"; [[ $line == *" " ]] && COMP_WORDS+=(""); '
                'COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); _veltrane_cli; echo "${COMPREPLY[*]}"; done')
    got = subprocess.run(["bash", "-c", complete, CLI], capture_output=True, text=True, check=True).stdout
    assert got.splitlines() == ["paths package", "--color", "auto always never", "--html"], got
    print("ok")


if __name__ == "__main__":
    main()
