#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when any is missing. Only then,
# and only for apt-get, does it ask for sudo. help2man makes the manual pages; man-db,
# bash-completion and appstream let the tests check the pages, the completion and the
# AppStream metadata; dpkg-dev and file let CPack work out the package's dependencies, and
# lintian checks the package as Debian does (scripts/checkpackage.sh, run by CI). The
# independent link libraries (libticalcs, libticables, libtifiles) are the interop tests' peer.
set -euo pipefail
pkgs=(build-essential cmake ninja-build pkg-config
      qt6-base-dev qt6-base-dev-tools libgl-dev fonts-dejavu-core
      libpng-dev libjpeg-dev libusb-1.0-0-dev libgtest-dev libgmock-dev libbenchmark-dev
      libticalcs-dev libticables-dev libtifiles-dev
      help2man man-db bash-completion appstream dpkg-dev file lintian)
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  if [ "$(id -u)" -ne 0 ]; then SUDO=sudo; else SUDO=; fi
  $SUDO apt-get update -q
  # Through env: sudo drops the caller's environment.
  $SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
