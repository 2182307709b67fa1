#!/usr/bin/env bash
# Installs the Debian packages that building, testing and the demo need.
set -euo pipefail
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update
$SUDO apt-get install -y --no-install-recommends \
    build-essential cmake ninja-build pkg-config libtsan2 util-linux \
    qt6-base-dev libgl-dev libgtest-dev libgmock-dev libcurl4-openssl-dev \
    python3 lrzsz python3-aiosmtpd iproute2 clang libclang-rt-14-dev clang-format clang-tidy \
    qt6-qpa-plugins xvfb dbus at-spi2-core python3-pyatspi python3-xlib \
    dpkg-dev desktop-file-utils appstream librsvg2-bin man-db \
    libsqlite3-dev libpq-dev postgresql
