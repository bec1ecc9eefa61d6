#!/bin/bash
# The shell commands of README.md run as written in a copy of the repository
# set up like a fresh clone after `make run`, and print what README.md says
# they print.  Arguments: koru, koru-debug, koru-tool.
set -eu
here=$(dirname "$0")
exec python3 "$here/readme_commands.py" "$1" "$2" "$3"
