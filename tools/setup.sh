#!/usr/bin/env bash
# Installs what the suite needs to build, run and test on Debian 12. Safe to run again.
set -euo pipefail
packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-webengine-dev qt6-webengine-dev-tools
  libqt6webenginecore6-bin libqt6opengl6-dev qt6-tools-dev
  libminizip-dev zlib1g-dev libturbojpeg0-dev
  python3 python3-pyftpdlib
  fonts-wqy-microhei xvfb xauth imagemagick
  nginx-light libvips-tools unzip
  qt6-translations-l10n curl
  clang-14 libclang-rt-14-dev
  python3-websocket xdotool xclip x11-utils
  dbus-daemon at-spi2-core gir1.2-atspi-2.0 python3-gi
  vsftpd
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  # Packages with a daemon (vsftpd on port 21) must not start it: the tests start their own
  # servers on 127.0.0.1. Unless the machine already has such a policy, one is in force for the
  # install only.
  policy=/usr/sbin/policy-rc.d
  if [ ! -e "$policy" ]; then
    printf '#!/bin/sh\nexit 101\n' > "$policy"
    chmod 755 "$policy"
    trap 'rm -f "$policy"' EXIT
  fi
  apt-get update -q
  apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
