#!/usr/bin/env bash
# install.sh - the updater installing a release of 1000 files of 1 to 64 KiB
# in 20 folders (silent run) into a FAT16 image, against unzip plus
# mcopy -s of the same tree into the same kind of image, in one run.
source "$(dirname "$0")/common.sh"
start=22528
mkimg() { ./tools/mkimage.sh -o "$1" -s 150000 -p 6,2048,20480,16,4,512 -p 84,$start,120000,16,4,512; }
mkdir -p "$work/rel"
printf '[FenoCraft]\r\nVersion=BENCH\r\n' >"$work/rel/kaluconf.ini"
for d in $(seq 1 20); do
  mkdir "$work/rel/DIR$d"
  for f in $(seq 1 50); do head -c $(( (RANDOM % 64 + 1) * 1024 - RANDOM % 1000 )) /dev/urandom >"$work/rel/DIR$d/F$f.DAT"; done
done
(cd "$work/rel" && zip -qr "$work/vFC_KaLu.zip" .)
mkdir "$work/pkg"
cp build/bin/KaLuRefr.exe build/bin/QvKalu.dll "$work/vFC_KaLu.zip" "$work/pkg/"
cp "$(command -v unzip)" "$work/pkg/unzip.exe"
mkimg "$work/lib.img"; mkimg "$work/mt.img"
sync
t0=$(now)
(cd "$work/pkg" && KALU_PHYSICALDRIVE0="$work/lib.img" ./KaLuRefr.exe /S "$work/pkg" -MkfwLhfsj_Prawv)
t1=$(now)
(cd "$work" && unzip -qq -d "$work/expanded" vFC_KaLu.zip && mcopy -s -i "$work/mt.img@@$((start * 512))" "$work/expanded"/* ::)
t2=$(now)
lib=$(echo "$t1 - $t0" | bc -l); mt=$(echo "$t2 - $t1" | bc -l)
printf 'install 1000 files   updater %7.3f s   unzip + mcopy -s %7.3f s   ratio %5.2f\n' "$lib" "$mt" "$(echo "$lib / $mt" | bc -l)"
