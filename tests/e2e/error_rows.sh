#!/bin/bash
# Every raise in the program names a row of the error catalogue
# (src/host/error_catalogue.h): no raise site writes a code or a message
# text of its own.  Only the routines themselves (and their row forms)
# pass a code and a format on.
set -u
src="$(cd "$(dirname "$0")/../../src" && pwd)"
calls='(raise_runtime|raise_to_host|raise_parse|compile_error|fatal_startup|fail)\('
how='((RaiseAs::[A-Za-z]+|how|c\.how), )?'
# A first argument that is a number, a text, or a plain variable followed
# by a text (a code held in an int).
found=$(grep -rnE "\b${calls}${how}([\"0-9]|[A-Za-z_.]+, \")" "$src" --include='*.cpp' --include='*.h' |
        grep -vE "^$src/(host/errors|compiler/state|strings/regex/fail)\.(h|cpp):")
if [ -n "$found" ]; then
    echo "FAIL: raise sites that do not name a catalogue row:"
    echo "$found"
    exit 1
fi
echo "ok"
