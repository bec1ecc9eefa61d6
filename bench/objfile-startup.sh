#!/bin/bash
# Start-up of a request whose module is a 20,000-line object image against
# the same module compiled from source on every run.
set -e
cd "$(dirname "$0")/.."
make all >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# 2,000 functions of ten lines each, and a TOP function that calls one.
python3 - "$work/big.js" <<'PY'
import sys
with open(sys.argv[1], "w") as f:
    for i in range(2000):
        f.write(f"function f{i}(a, b) {{\n")
        f.write(f"  var s = 0, t = \"text {i}\";\n")
        f.write(f"  for (var k = 0; k < a; k++) {{\n")
        f.write(f"    s += k * {i} + b;\n")
        f.write(f"  }}\n")
        f.write(f"  if (s > {i}) {{ t = t + s; }} else {{ t = [s, {{n: {i}}}]; }}\n")
        f.write(f"  switch (a) {{ case 1: s++; break; default: s--; }}\n")
        f.write(f"  try {{ s = f{max(i - 1, 0)}; }} catch (e) {{ s = 0; }}\n")
        f.write(f"  return t;\n")
        f.write(f"}}\n")
    f.write("function main() { sendToFront('r', f1999(3, 4)); }\n")
PY
build/koru-tool objfile "$work/big.js" "$work/big.jo"
build/koru-tool objfile --compress "$work/big.js" "$work/bigc.jo"
cp "$work/big.jo" "$work/bigs.jo"
ln -s "$PWD/build/koru" "$work/koru"
echo "MODULE_DIR=." > "$work/KORU.config"
wc -l "$work/big.js"
ls -l "$work"/big*.j*
cd "$work"
# The M records name modules of the same name length.
hyperfine -N --warmup 3 --export-markdown "$work/result.md" \
  -n source "./koru M111816big.jsP14main x=1" \
  -n object "./koru M111917bigs.joP14main x=1" \
  -n compressed "./koru M111917bigc.joP14main x=1"
