#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Installs the Debian packages that a script needs, and asks apt only for
# those that are missing:
#
#   scripts/install-deps.sh demo|test|fuzz [PACKAGE...]
#
# demo: building and running the programs and the window; test: that, and
# the test suite's libraries and tools; fuzz: a clang build of the core with
# libFuzzer. Packages named after the set are installed too (the screenshots
# need an X server, for one). Prints one line a step; apt's output goes to a
# log file, which is shown when a step fails.
set -euo pipefail

core=(build-essential cmake pkg-config libbz2-dev nlohmann-json3-dev libsqlite3-dev nettle-dev libudev-dev)
window=(qt6-base-dev librsvg2-bin)
tests=(libgtest-dev libgmock-dev bash-completion appstream desktop-file-utils)
fuzz=(clang libclang-rt-14-dev)

case ${1:-} in
  demo) packages=("${core[@]}" "${window[@]}") ;;
  test) packages=("${core[@]}" "${window[@]}" "${tests[@]}") ;;
  fuzz) packages=("${core[@]}" "${fuzz[@]}") ;;
  *)
    echo "usage: $0 demo|test|fuzz [PACKAGE...]" >&2
    exit 2
    ;;
esac
shift
packages+=("$@")

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
((${#missing[@]})) || exit 0

# sudo starts its command with a clean environment: the variable goes inside.
if [[ $(id -u) -eq 0 ]]; then
  as_root=(env DEBIAN_FRONTEND=noninteractive)
elif command -v sudo >/dev/null; then
  as_root=(sudo env DEBIAN_FRONTEND=noninteractive)
  # Asks for the password here, before apt's output goes to the log.
  sudo -v
else
  echo "install-deps: these Debian packages are missing, and installing them needs root:" >&2
  echo "  ${missing[*]}" >&2
  echo "Run this script as root, or install sudo, or install them as root with" >&2
  echo "  apt-get install ${missing[*]}" >&2
  exit 1
fi

# Kept when a step fails, removed when all went well.
log=$(mktemp "${TMPDIR:-/tmp}/tarnwick-install-deps.XXXXXX")
# step TEXT COMMAND...: runs the command with its output in the log.
step() {
  local text=$1
  shift
  echo "install-deps: $text"
  if ! "$@" >>"$log" 2>&1; then
    echo "install-deps: that failed; the end of its log, $log:" >&2
    tail -n 40 "$log" >&2
    exit 1
  fi
}

step "updating the package lists" "${as_root[@]}" apt-get update
step "installing ${missing[*]}" "${as_root[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
rm -f "$log"
