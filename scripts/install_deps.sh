#!/usr/bin/env bash
# Installs the system packages the build and the tests need, where they are missing (Debian).
set -euo pipefail
# clang, the aarch64 cross compiler and qemu build and run the other configurations the tests
# cover; GoogleTest for aarch64 is built from the sources that libgtest-dev brings. chromium is
# the headless browser the tests of `corvanta serve` drive (Playwright downloads none of its own).
packages=(g++ cmake libgtest-dev python3-venv clang g++-aarch64-linux-gnu chromium)
missing=()
for p in "${packages[@]}"; do dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p"); done
command -v qemu-aarch64 >/dev/null 2>&1 || command -v qemu-aarch64-static >/dev/null 2>&1 || missing+=(qemu-user)
# python3-venv is only needed where the interpreter cannot make a virtual environment itself.
if python3 -c "import venv, ensurepip" >/dev/null 2>&1; then
  missing=("${missing[@]/python3-venv/}")
fi
read -r -a missing <<<"${missing[*]}"
[ ${#missing[@]} -eq 0 ] && exit 0
if [ "$(id -u)" -ne 0 ]; then
  echo "missing packages: ${missing[*]} (install them with apt-get as root)" >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq "${missing[@]}"
