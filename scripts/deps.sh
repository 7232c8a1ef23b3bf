#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need (skipping those
# already present). Sourced by setup.sh and test.sh.
set -euo pipefail
BRV_PACKAGES=(g++ cmake make pkg-config nlohmann-json3-dev libcli11-dev libfmt-dev libgtest-dev libgmock-dev libcpp-httplib-dev)
missing=()
for p in "${BRV_PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  SUDO=""; [ "$(id -u)" -eq 0 ] || SUDO=sudo
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
