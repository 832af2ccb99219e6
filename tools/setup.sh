#!/usr/bin/env bash
# Installs what the build and the tests need on Debian 12, when missing.
set -eu
packages="g++ make cmake libgtest-dev googletest libbenchmark-dev
  g++-mingw-w64-x86-64 wine wine64 xvfb xdotool imagemagick x11-utils
  clang libclang-rt-14-dev libx11-dev iproute2 iptables conntrack python3
  redis-server redis-tools libhiredis-dev"
missing=""
for p in $packages; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
if [ -n "$missing" ]; then
  echo "== installing:$missing"
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -q
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q $missing
fi
