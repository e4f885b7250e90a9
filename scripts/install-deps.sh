#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, and any named as arguments, if any
# is missing, and makes a locale whose decimal mark is a comma (de_DE.UTF-8) for the locale run
# of the tests.
set -euo pipefail
packages=(cmake g++ make libgtest-dev libgmock-dev qt6-base-dev libqt6svg6 fonts-dejavu-core gcovr
  clang-14 libclang-rt-14-dev locales libtiff-dev libpng-dev libjpeg62-turbo-dev python3-numpy
  python3-tifffile dpkg-dev "$@")
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
sudo_cmd=()
[ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  "${sudo_cmd[@]}" apt-get update
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
fi
if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
  echo "Making the locale de_DE.UTF-8"
  "${sudo_cmd[@]}" localedef -i de_DE -f UTF-8 de_DE.UTF-8
fi
