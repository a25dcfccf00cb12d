#!/usr/bin/env bash
# ensure-deps.sh - installs with apt-get whatever the build, the tests and the
# demo need and this machine lacks.
set -euo pipefail
need=()
for pkg in cmake g++ make libgtest-dev zlib1g-dev dosfstools mtools fdisk zip unzip util-linux bc; do
  dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" || need+=("$pkg")
done
[ ${#need[@]} -eq 0 ] && exit 0
echo "Installing: ${need[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq "${need[@]}" >/dev/null
