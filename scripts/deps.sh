#!/usr/bin/env bash
# Installs the Debian packages korven builds and tests with, when any is missing.
set -euo pipefail
packages=(
  cmake g++ make ninja-build pkg-config
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  libpng-dev libjpeg-dev libtiff-dev libcairo2-dev libcli11-dev libpodofo-dev
  poppler-utils dpkg-dev
  fonts-ipafont-gothic
  libsane-dev libsane1 sane-utils
  clang libclang-rt-14-dev
  time
  g++-mingw-w64-i686-posix
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "korven: installing ${missing[*]}" >&2
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO=sudo
  # An install that was interrupted earlier leaves dpkg refusing every other one until it is finished.
  if [ -n "$($SUDO dpkg --audit 2>/dev/null)" ]; then
    echo "korven: finishing an interrupted package installation (dpkg --configure -a)" >&2
    DEBIAN_FRONTEND=noninteractive $SUDO dpkg --configure -a
  fi
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
