#!/bin/bash
# The worked examples of docs/PROTOCOL.md give the replies it shows.
# Arguments: koru, koru-debug, koru-tool.
set -eu
here=$(dirname "$0")
exec python3 "$here/protocol_examples.py" "$1" "$here/../../docs/PROTOCOL.md"
