#!/usr/bin/env bash
# make run's example: the request answers in full and counts its visits in
# an SQLite file that the first run makes and the second one adds to.
#   example_run.sh KORU
set -euo pipefail
koru=$1
here=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
ln -s "$koru" "$work/koru"
head='s17messageC16hello,%20exampleA1218^A50000113tea14cakeH1315order12idO715items18^A50000115totale12.5'
for n in 1 2; do
  out=$(bash "$here/examples/run-example.sh" "$work/koru")
  want="response: ${head}Y121116visits14name16visits17example11${n}C11111111"
  if ! grep -qxF "$want" <<<"$out"; then
    printf 'FAIL: run %s answered\n%s\nwanted the line\n%s\n' "$n" "$out" "$want" >&2
    exit 1
  fi
done
[ -f "$work/example.db" ] || { echo "FAIL: no example.db beside the program" >&2; exit 1; }
echo "ok"
