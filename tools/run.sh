#!/usr/bin/env bash
# Starts the local stand-in shop, then the client from the built program folder; stops the shop
# when the client ends.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$top/build}
[ "$(id -u)" = 0 ] && export QTWEBENGINE_DISABLE_SANDBOX=1
shop_pid=
if [ -f "$top/tools/shop/shop.py" ]; then
  mkdir -p "$build/shop-data"
  /usr/bin/python3 "$top/tools/shop/shop.py" --data "$build/shop-data" > "$build/shop.log" 2>&1 &
  shop_pid=$!
  trap 'kill $shop_pid 2>/dev/null || true' EXIT
  for _ in $(seq 50); do grep -q "shop ready" "$build/shop.log" 2>/dev/null && break; sleep 0.1; done
fi
"$build/program/Quorvel" "$@"
