#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Installs the Debian packages that building, testing and the demo use, and
# those named as arguments (for scripts that need more, such as the
# screenshots). Idempotent: asks apt only for what is missing.
set -euo pipefail

packages=(
  build-essential cmake pkg-config dpkg-dev
  libgtest-dev libgmock-dev
  libbz2-dev nlohmann-json3-dev libsqlite3-dev nettle-dev
  qt6-base-dev
  clang libclang-rt-14-dev
  "$@"
)

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done

if ((${#missing[@]})); then
  sudo_cmd=()
  [[ $(id -u) -eq 0 ]] || sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq "${missing[@]}"
fi
