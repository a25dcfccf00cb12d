#!/usr/bin/env bash
# demo.sh - the whole job on a generated demo disk: installs what is missing,
# builds, makes demo/disk.img (an ordinary FAT partition and a FAT12 utility
# partition holding IO.SYS, MSDOS.SYS, the volume label and QVSTART.SYS)
# unless it exists, makes a sample release vFC_KaLu.zip, assembles the update
# package REFR0203.exe and runs it against the image: silently, or with
# --interactive as a user would. Shows the partition before and after, the
# exit code and fsck.fat's verdict.
set -euo pipefail
cd "$(dirname "$0")"
interactive=0
case "${1:-}" in
  --interactive) interactive=1 ;;
  "") ;;
  *) echo "usage: ./demo.sh [--interactive]" >&2; exit 2 ;;
esac
./tools/ensure-deps.sh
cmake -S . -B build >/dev/null
cmake --build build -j"$(nproc)" >/dev/null
demo=$PWD/demo
mkdir -p "$demo/tmp"
img=$demo/disk.img
start=22528
export MTOOLS_SKIP_CHECK=1 MTOOLS_NO_VFAT=1
if [ ! -f "$img" ]; then
  echo "== Making $img: a FAT16 data partition and a FAT12 utility partition (type 0x12)"
  ./tools/mkimage.sh -o "$img" -s 65536 -p 6,2048,20480,16,4,512 -p 12,$start,40960,12,16,224
fi

echo "== A sample release: a small diagnostics tree with its kaluconf.ini"
rel=$demo/release
rm -rf "$rel" "$demo/vFC_KaLu.zip"
mkdir -p "$rel/DIAG/TESTS" "$rel/DOCS" "$rel/LOGS"
printf '[FenoCraft]\r\nVersion=B.02.03\r\n[Kaluconf]\r\ntimeout=10\r\n' >"$rel/kaluconf.ini"
head -c 40000 /dev/urandom >"$rel/DIAG/DIAGNOSE.EXE"
for t in MEMORY DISK VIDEO; do head -c 12000 /dev/urandom >"$rel/DIAG/TESTS/$t.TST"; done
printf 'FenoCraft diagnostics\r\nRun DIAGNOSE.EXE from the utility partition.\r\n' >"$rel/DOCS/README.TXT"
(cd "$rel" && zip -qr "$demo/vFC_KaLu.zip" .)

echo "== The update package REFR0203.exe"
cp "$(command -v unzip)" "$demo/unzip.exe"
build/bin/mkpackage build -o "$demo/REFR0203.exe" --runner build/bin/REFRxxxx.exe --required-mb 5 \
  "$demo/unzip.exe" build/bin/KaLuRefr.exe build/bin/QvKalu.dll build/bin/SKTRAW32.DLL "$demo/vFC_KaLu.zip"
build/bin/mkpackage list "$demo/REFR0203.exe" | sed 's/^/  /'

listing() { mdir -/ -i "$img@@$((start * 512))" :: | sed 's/^/  /'; }
echo "== The utility partition before"
listing
echo "== Running the package $([ $interactive = 1 ] && echo interactively || echo 'silently (/S)')"
set +e
if [ $interactive = 1 ]; then
  (cd "$demo" && TEMP="$demo/tmp" KALU_PHYSICALDRIVE0="$img" ./REFR0203.exe)
else
  (cd "$demo" && TEMP="$demo/tmp" KALU_PHYSICALDRIVE0="$img" ./REFR0203.exe /S)
fi
rc=$?
set -e
echo
echo "== Exit code: $rc"
echo "== The utility partition after"
listing
echo "== fsck.fat -n on the utility partition"
dd if="$img" of="$demo/partition.img" bs=1M iflag=skip_bytes,count_bytes skip=$((start * 512)) \
  count=$((40960 * 512)) status=none
fsck.fat -n "$demo/partition.img" | sed 's/^/  /'
rm -f "$demo/partition.img"
