#!/usr/bin/env bash
# Installs the system packages the build and the tests need, where they are missing (Debian).
set -euo pipefail
packages=(g++ cmake libgtest-dev python3-venv)
missing=()
for p in "${packages[@]}"; do dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p"); done
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
