#!/usr/bin/env bash
# Installs the Debian 12 packages the build, the tests and the demo need (as root, or via sudo).
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config
    qt6-base-dev qt6-base-dev-tools libqt6sql6-sqlite libgl-dev qt6-svg-dev qt6-translations-l10n
    libsodium-dev libpq-dev postgresql libqt6sql6-psql
    clang libclang-rt-14-dev clang-format
    libbenchmark-dev libsqlite3-dev
    xvfb xauth xdotool fonts-dejavu-core python3
    lintian systemd desktop-file-utils appstream file man-db adduser iproute2 procps
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
