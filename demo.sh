#!/usr/bin/env bash
# demo.sh - the main job on a generated demo disk: installs what is missing,
# builds, makes demo/disk.img (an ordinary FAT partition and a FAT12 utility
# partition with its boot files) unless it exists, and shows what the
# library sees of it.
set -euo pipefail
cd "$(dirname "$0")"
./tools/ensure-deps.sh
cmake -S . -B build >/dev/null
cmake --build build -j"$(nproc)" >/dev/null
mkdir -p demo
img=demo/disk.img
if [ ! -f "$img" ]; then
  echo "Making $img: a FAT16 data partition and a FAT12 utility partition (type 0x12)"
  ./tools/mkimage.sh -o "$img" -s 65536 -p 6,2048,20480,16,4,512 -p 12,22528,40960,12,16,224
fi
echo "Utility partition as mtools lists it:"
MTOOLS_SKIP_CHECK=1 mdir -i "$img@@$((22528 * 512))" -a :: | sed 's/^/  /'
echo
echo "What the library sees (KALU_PHYSICALDRIVE0=$img):"
KALU_PHYSICALDRIVE0="$PWD/$img" KALU_NAMESPACE="demo$$" ./build/bin/kaluinfo | sed 's/^/  /'
