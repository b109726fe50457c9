#!/usr/bin/env bash
# Installs the Debian packages that building and testing need, when some are missing. Run by
# tools/run-all-tests.sh and tools/run-service.sh (and so by CI), or by hand:
#   bash tools/install-packages.sh [service]    "service": only what the Linux service needs
# Needs root (or sudo) and apt-get; without them it names what is missing and fails.
set -euo pipefail

if [ "${1:-}" = service ]; then
    packages=(cmake ninja-build g++ libboost-dev libcurl4-openssl-dev)
else
    packages=(cmake ninja-build g++ clang libclang-rt-dev libgtest-dev googletest libbenchmark-dev
              g++-mingw-w64-x86-64-posix mingw-w64-tools wine wine64 xvfb socat imagemagick x11-utils
              adduser dpkg-dev systemd procps nsis rsyslog libboost-dev chromium curl
              libcurl4-openssl-dev libssl-dev openssl python3 ffmpeg)
fi

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" = 0 ]; then
    sudo=()
elif command -v sudo >/dev/null && sudo -n true 2>/dev/null; then
    sudo=(sudo)
else
    echo "please install (as root): apt-get install ${missing[*]}" >&2
    exit 1
fi
if ! command -v apt-get >/dev/null; then
    echo "please install: ${missing[*]}" >&2
    exit 1
fi
echo "installing: ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
# Another installation may hold the package lock for a while; apt waits for it.
"${sudo[@]}" apt-get -o DPkg::Lock::Timeout=600 update -qq
"${sudo[@]}" apt-get -o DPkg::Lock::Timeout=600 install -y -qq "${missing[@]}" >/dev/null
