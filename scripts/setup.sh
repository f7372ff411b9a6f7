#!/bin/sh
# Installs what building and testing Korvel needs on Debian 12, when missing,
# and the packages named as arguments (scripts/package.sh names the ones it
# needs). Runs as root, or through sudo.
set -eu
packages="cmake ninja-build g++ pkg-config googletest libgtest-dev libgmock-dev
  libbenchmark-dev libssl-dev openssl clang
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64
  wine64 wine32:i386 fonts-wine xvfb xauth $*"
missing=""
for p in $packages; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0
echo "Installing:$missing"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo
export DEBIAN_FRONTEND=noninteractive
$sudo dpkg --add-architecture i386
$sudo apt-get update -q
# shellcheck disable=SC2086
$sudo apt-get install -y -q --no-install-recommends $missing
