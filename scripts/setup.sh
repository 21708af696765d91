#!/usr/bin/env bash
# Installs the Debian packages the project needs. Quick and silent when all are present.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  libsqlite3-dev sqlite3 libssl-dev libicu-dev libplist-dev libglib2.0-dev libxcb1-dev
  qt6-base-dev qt6-charts-dev qt6-svg-dev libqt6svg6 qt6-qpa-plugins libqt6opengl6-dev
  libgl-dev libegl-dev libvulkan-dev libxkbcommon-dev
  libgtest-dev libgmock-dev
  fonts-dejavu-core procps
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing: ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -q
$SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
