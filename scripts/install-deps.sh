#!/usr/bin/env bash
# Installs the Debian 12 packages Tarnhelm needs to build, test and run. Only what is missing is
# installed; run as root (or through sudo). Usage: scripts/install-deps.sh [--asan]
set -euo pipefail

packages=(
    build-essential cmake ninja-build ccache pkg-config
    clang-format                            # the formatting check (scripts/check-format.sh)
    qtbase5-dev qtbase5-dev-tools libqt5sql5-sqlite libqt5charts5-dev
    libzip-dev zlib1g-dev libsqlite3-dev
    libssl-dev                              # libcrypto: SHA-256 of the workbook fingerprints
    sqlite3                                 # the tests' second process holding a write lock
    python3 python3-openpyxl python3-xlrd python3-xlwt python3-olefile   # independent readers
    gnumeric                                # ssconvert: Gnumeric's reader, one more of them
    fonts-dejavu-core                       # offscreen windows, screenshots and the help PDF
    poppler-utils                           # the help document's test reads the PDF back
    parallel                                # GNU parallel: the ensemble test runs members with it
)
if [[ "${1:-}" == "--asan" ]]; then
    packages+=(clang libclang-rt-14-dev)
fi

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$package")
    fi
done

if ((${#missing[@]} == 0)); then
    exit 0
fi

echo "Installing: ${missing[*]}"
sudo=""
if [[ $(id -u) -ne 0 ]]; then
    sudo="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
