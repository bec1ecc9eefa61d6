#!/usr/bin/env bash
# Serves the order book with lighttpd in the foreground: Ctrl-C stops it.
#   serve.sh KORU [PORT]   (no PORT: a free one)
set -euo pipefail
site=$(cd "$(dirname "$0")" && pwd)
koru=${1:?usage: serve.sh KORU [PORT]}
port=${2:-$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')}
run=$(dirname "$koru")/site
url=$(bash "$site/prepare.sh" "$run" "$koru" "$port")
echo "serving the order book at $url (Ctrl-C stops)"
exec lighttpd -D -f "$run/lighttpd.conf"
