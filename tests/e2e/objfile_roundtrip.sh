#!/bin/bash
# Requests run from .jo images of their modules write the records the
# sources write.  Arguments: koru, koru-debug, koru-tool.
set -eu
here=$(dirname "$0")
exec python3 "$here/objfile_roundtrip.py" "$1" "$2" "$3" "$here"/cases/*.case
