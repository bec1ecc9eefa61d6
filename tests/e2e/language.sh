#!/bin/bash
# Every example of docs/LANGUAGE.md gives the result the document states.
# Arguments: koru, koru-debug, koru-tool.
set -eu
here=$(dirname "$0")
exec python3 "$here/language_examples.py" "$1" "$here/../../docs/LANGUAGE.md"
