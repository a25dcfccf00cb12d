#!/usr/bin/env bash
# files.sh - the library's file path against mtools on one FAT16 image in one
# run: a 32 MiB file and 400 files of 1 to 64 KiB written into the root, then
# read back, each way; prints each time and the ratio library/mcopy.
source "$(dirname "$0")/common.sh"
start=2048
mkimg() { ./tools/mkimage.sh -o "$1" -s 140000 --no-boot-files -p a0,$start,120000,16,4,512; }
mkdir -p "$work/big" "$work/small"
head -c $((32 * 1024 * 1024)) /dev/urandom >"$work/big/BIG.BIN"
for i in $(seq 1 400); do head -c $(( (RANDOM % 64 + 1) * 1024 - RANDOM % 1000 )) /dev/urandom >"$work/small/F$i.DAT"; done

secs() { echo "$2 - $1" | bc -l; }
bench() {  # label, set
  local set=$1 lib mt t0 t1
  mkimg "$work/lib.img"; mkimg "$work/mt.img"
  rm -rf "$work/out-lib" "$work/out-mt"; mkdir "$work/out-lib" "$work/out-mt"
  sync
  t0=$(now); KALU_PHYSICALDRIVE0="$work/lib.img" build/bench/kalubench put "$work/$set"; t1=$(now)
  lib=$(secs "$t0" "$t1")
  t0=$(now); mcopy -i "$work/mt.img@@$((start * 512))" "$work/$set"/* ::; t1=$(now)
  mt=$(secs "$t0" "$t1")
  printf '%-28s library %7.3f s   mcopy %7.3f s   ratio %5.2f\n' "write $set" "$lib" "$mt" "$(echo "$lib / $mt" | bc -l)"
  t0=$(now); KALU_PHYSICALDRIVE0="$work/lib.img" build/bench/kalubench get "$work/out-lib"; t1=$(now)
  lib=$(secs "$t0" "$t1")
  t0=$(now); mcopy -i "$work/mt.img@@$((start * 512))" "::*" "$work/out-mt"; t1=$(now)
  mt=$(secs "$t0" "$t1")
  printf '%-28s library %7.3f s   mcopy %7.3f s   ratio %5.2f\n' "read $set" "$lib" "$mt" "$(echo "$lib / $mt" | bc -l)"
  diff -r "$work/$set" "$work/out-lib" >/dev/null && diff -r "$work/$set" "$work/out-mt" >/dev/null || { echo "read-back differs" >&2; exit 1; }
}
bench big
bench small
