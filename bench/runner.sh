#!/usr/bin/env bash
# runner.sh - the runner unpacking a package of about 35 MB (its updater a
# stand-in that ends at once), against cp of the same members and unzip -t of
# the archive, in one run; then CRC-32 throughput against zlib's crc32.
source "$(dirname "$0")/common.sh"
mkdir -p "$work/rel" "$work/members" "$work/temp" "$work/copy"
for i in $(seq 1 30); do head -c 1100000 /dev/urandom >"$work/rel/F$i.DAT"; done
(cd "$work/rel" && zip -q -0 -r "$work/members/vFC_KaLu.zip" .)
cp "$(command -v unzip)" "$work/members/unzip.exe"
cp build/bin/QvKalu.dll build/bin/SKTRAW32.DLL "$work/members/"
printf '#!/bin/sh\nexit 0\n' >"$work/members/KaLuRefr.exe"
chmod +x "$work/members/KaLuRefr.exe"
m="$work/members"
build/bin/mkpackage build -o "$work/REFR0203.exe" --runner build/bin/REFRxxxx.exe --required-mb 40 \
  "$m/unzip.exe" "$m/KaLuRefr.exe" "$m/QvKalu.dll" "$m/SKTRAW32.DLL" "$m/vFC_KaLu.zip"
size=$(stat -c %s "$work/REFR0203.exe")
sync
t0=$(now); TEMP="$work/temp" "$work/REFR0203.exe" /S; t1=$(now)
cp "$m"/* "$work/copy/"; t2=$(now)
unzip -tqq "$m/vFC_KaLu.zip"; t3=$(now)
run=$(echo "$t1 - $t0" | bc -l); cp=$(echo "$t2 - $t1" | bc -l); uz=$(echo "$t3 - $t2" | bc -l)
printf 'unpack %d MB        runner %7.3f s   cp %7.3f s (ratio %5.2f)   unzip -t %7.3f s (ratio %5.2f)\n' \
  $((size / 1000000)) "$run" "$cp" "$(echo "$run / $cp" | bc -l)" "$uz" "$(echo "$run / $uz" | bc -l)"
build/bench/crcbench
