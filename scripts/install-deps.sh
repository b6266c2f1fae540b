#!/bin/sh
# Installs every Debian package that building, testing and running the model need.
# Idempotent; run as root on a fresh machine.
set -e
PKGS="build-essential cmake g++ pkg-config \
  openmpi-bin libopenmpi-dev \
  libpnetcdf-dev pnetcdf-bin \
  libopenblas-dev liblapack-dev liblapacke-dev \
  libgtest-dev googletest \
  netcdf-bin python3 python3-numpy python3-netcdf4"
missing=""
for p in $PKGS; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
if [ -n "$missing" ]; then
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO=sudo
  $SUDO apt-get update
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends $missing
fi
echo "install-deps: all packages present"
