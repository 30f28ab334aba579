#!/usr/bin/env bash
# Starts the local stand-in shop on the ports the build was configured with, then the client from
# the built program folder; stops the shop when the client ends. A shop that already answers on
# those ports (another run.sh) is used as it is and left running.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$top/build}
[ "$(id -u)" = 0 ] && export QTWEBENGINE_DISABLE_SANDBOX=1

# A cache variable of the build, or the default given.
setting() {
  local v
  v=$(sed -n "s/^$1:[A-Z]*=//p" "$build/CMakeCache.txt" 2>/dev/null | head -n 1)
  echo "${v:-$2}"
}
shop_host=$(setting QUORVEL_SHOP_HOST 127.0.0.1:8600)
http_port=80
[[ $shop_host == *:* ]] && http_port=${shop_host##*:}
ftp_port=$(setting QUORVEL_FTP_PORT 9021)

shop_answers() {
  curl -fsS -m 2 -o /dev/null "http://127.0.0.1:$http_port/main/templates.aspx" 2>/dev/null
}

shop_pid=
if [ -f "$top/tools/shop/shop.py" ] && [[ ${shop_host%:*} == 127.0.0.1 ]]; then
  if shop_answers; then
    echo "run.sh: a shop already answers on 127.0.0.1:$http_port; using it" >&2
  else
    mkdir -p "$build/shop-data"
    /usr/bin/python3 "$top/tools/shop/shop.py" --http-port "$http_port" --ftp-port "$ftp_port" \
      --data "$build/shop-data" > "$build/shop.log" 2>&1 &
    shop_pid=$!
    trap 'kill $shop_pid 2>/dev/null || true' EXIT
    for _ in $(seq 50); do
      grep -q "shop ready" "$build/shop.log" 2>/dev/null && break
      kill -0 "$shop_pid" 2>/dev/null || break  # it ended: no point waiting for it
      sleep 0.1
    done
    if ! grep -q "shop ready" "$build/shop.log" 2>/dev/null; then
      # Started at the same moment as another run.sh, whose shop took the ports: use that one.
      if shop_answers; then
        echo "run.sh: a shop already answers on 127.0.0.1:$http_port; using it" >&2
      else
        echo "run.sh: the shop did not start (see $build/shop.log)" >&2
      fi
    fi
  fi
fi
"$build/program/Quorvel" "$@"
