#!/bin/bash
# koru-tool dirsum prints the checksum that a MODULE_DIR line pins.
set -u
tool="$3"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

empty=$("$tool" dirsum "$work")
[ "$empty" = e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855 ] || fail "empty directory: $empty"

mkdir -p "$work/sub"
printf 'var a;' >"$work/sub/a.js"
printf '{}' >"$work/x.json"
touch -d '2024-03-05 20:30:07 UTC' "$work/sub/a.js"
listing=$("$tool" dirsum -l "$work" | head -n 1)
[ "$listing" = "$work/sub/a.js;2024/03/05 29:30:07;0:6" ] || fail "listing: $listing"

expected=$(printf '%s\n' "$work/sub/a.js;2024/03/05 29:30:07;0:6" | sha256sum | cut -d' ' -f1)
sum=$("$tool" dirsum "$work")
[ "$sum" = "$expected" ] || fail "checksum $sum, expected $expected"

"$tool" dirsum >/dev/null 2>&1; [ $? -eq 2 ] || fail "missing directory argument"
"$tool" nosuch >/dev/null 2>&1; [ $? -eq 2 ] || fail "unknown command"
echo PASS
