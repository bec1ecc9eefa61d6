#!/usr/bin/env bash
# Runs the bundled example request in test mode and shows the record stream.
set -euo pipefail
koru=${1:-build/koru}
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
ln -s "$(cd "$(dirname "$koru")" && pwd)/$(basename "$koru")" "$work/koru"
cp "$here/KORU.config" "$work/KORU.config"
# The example keeps its visits in an SQLite file beside the program, made
# on the first run.
store="$(cd "$(dirname "$koru")" && pwd)/example.db"
printf 'VAR=store:"%s"\n' "$store" >> "$work/KORU.config"
body=$(cat "$here/request.txt")
echo "request: $body"
printf 'response: '
(cd "$here" && "$work/koru" "$body" "user=example")
echo
echo "visits are kept in $store"
