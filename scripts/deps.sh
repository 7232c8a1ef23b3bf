#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need (skipping those
# already present), and gives the other scripts `brv_install` for their own.
# Sourced by every script in this folder.
set -euo pipefail

# brv_install [--with-recommends] PACKAGE...: installs the packages that are
# missing, with sudo when not root. Quiet when it works; apt's own output is
# shown only when it fails.
brv_install() {
  local recommends=--no-install-recommends
  if [[ ${1-} == --with-recommends ]]; then recommends=; shift; fi
  local missing=() p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  ((${#missing[@]})) || return 0
  echo "Installing: ${missing[*]}"
  local root=()
  [[ $(id -u) -eq 0 ]] || root=(sudo)
  local log
  log=$(mktemp)
  # sudo resets the environment, so the front end is set through env.
  if "${root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq >"$log" 2>&1 &&
    "${root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $recommends "${missing[@]}" >>"$log" 2>&1; then
    rm -f "$log"
  else
    cat "$log" >&2
    rm -f "$log"
    echo "could not install: ${missing[*]}" >&2
    return 1
  fi
}

# The build's libraries and tools (libmicrohttpd for the web page's server,
# libcurl and zlib for reports to an inventory server), and hwdata, whose id lists give adapters and
# monitors their makers' and models' names; Python 3 for the tests' broken inventory servers, with
# jsonschema to check --json against its published schema.
BRV_PACKAGES=(g++ cmake make pkg-config nlohmann-json3-dev libcli11-dev libfmt-dev libgtest-dev libgmock-dev
  libcpp-httplib-dev libmicrohttpd-dev libcurl4-openssl-dev zlib1g-dev hwdata python3 python3-jsonschema)
brv_install "${BRV_PACKAGES[@]}"
