#!/usr/bin/env bash
# Installs the Debian 12 packages that building, running and testing Velmora need.
# Only missing packages are installed; uses sudo when not run as root.
set -euo pipefail

packages=(
    build-essential cmake ccache pkg-config
    qt6-base-dev qt6-base-dev-tools qt6-serialport-dev
    qt6-httpserver-dev qt6-websockets-dev libsystemd-dev
    libqt6sql6-sqlite libqt6sql6-psql libqt6sql6-mysql libqt6sql6-odbc
    libcurl4-openssl-dev ca-certificates
    sqlite3 libsqliteodbc unixodbc python3 python3-pyftpdlib curl openssl systemd
    clang libclang-rt-14-dev
    xvfb xauth fonts-noto-cjk chromium dpkg-dev fakeroot sudo
    libnet-smpp-perl
)
if [ "${1:-}" = "--servers" ]; then
    packages+=(postgresql mariadb-server)
fi

missing=()
for p in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
    [ "$status" = "install ok installed" ] || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO=sudo
echo "Installing: ${missing[*]}"
$SUDO env DEBIAN_FRONTEND=noninteractive apt-get update -q
$SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
