#!/usr/bin/env bash
# Installs what the benchmarks need beyond scripts/install-deps.sh: libxlsxwriter (Debian's
# libxlsxwriter-dev), the reference writer that export_bench compares the .xlsx export with.
# Nothing in the program or its tests uses it. Only a missing package is installed; run as root
# (or through sudo).
set -euo pipefail

packages=(libxlsxwriter-dev pkg-config)

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
