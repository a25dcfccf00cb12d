#!/usr/bin/env bash
# mkimage.sh - builds a disk image for tests and the demo: an MBR made by
# sfdisk, FAT volumes made by mkfs.fat at their partitions' offsets, and in
# the utility partition (the first formatted one of type 12, 84 or a0) the
# boot files IO.SYS, MSDOS.SYS, a volume label and QVSTART.SYS, copied with
# mtools so that they stand in root entries 0 to 3.
set -euo pipefail

usage() {
  cat <<'USAGE'
usage: mkimage.sh -o IMAGE -s TOTAL_SECTORS -p PART [-p PART ...] [--no-velmar] [--no-boot-files]
  PART is TYPE,START,SIZE[,FATBITS[,SECTORS_PER_CLUSTER[,ROOT_ENTRIES[,FATS]]]]
  (sectors of 512 bytes; TYPE in hex as sfdisk takes it; FATBITS 12 or 16
  formats the partition, 0 or absent leaves it unformatted).
  --no-velmar      do not put the marker "Velmar" at boot-sector offset 495
  --no-boot-files  leave the utility partition's root empty
USAGE
}

out=""; total=""; parts=(); velmar=1; bootfiles=1
while [ $# -gt 0 ]; do
  case "$1" in
    -o) out=$2; shift 2 ;;
    -s) total=$2; shift 2 ;;
    -p) parts+=("$2"); shift 2 ;;
    --no-velmar) velmar=0; shift ;;
    --no-boot-files) bootfiles=0; shift ;;
    -h|--help) usage; exit 0 ;;
    *) usage >&2; exit 2 ;;
  esac
done
[ -n "$out" ] && [ -n "$total" ] && [ ${#parts[@]} -gt 0 ] || { usage >&2; exit 2; }

export MTOOLS_SKIP_CHECK=1 MTOOLS_NO_VFAT=1
rm -f "$out"
truncate -s $((total * 512)) "$out"
{
  echo "label: dos"
  echo "unit: sectors"
  for p in "${parts[@]}"; do
    IFS=, read -r type start size _ <<<"$p"
    echo "start=$start, size=$size, type=$type"
  done
} | sfdisk --no-reread --no-tell-kernel -q "$out" >/dev/null

# N bytes of a repeated line (yes ends by SIGPIPE, which is no failure here).
pattern() { yes "$1" | head -c "$2" || true; }

utility_done=0
tmp=$(mktemp -d)
done_ok=0
# A failed build leaves no half-made image behind.
trap 'rm -rf "$tmp"; [ $done_ok = 1 ] || rm -f "$out"' EXIT
for p in "${parts[@]}"; do
  IFS=, read -r type start size fat spc root fats <<<"$p"
  fat=${fat:-0}
  [ "$fat" = 0 ] && continue
  if ! mkfs.fat -F "$fat" -s "${spc:-4}" -r "${root:-224}" -f "${fats:-2}" -h "$start" -a \
      --offset "$start" -S 512 "$out" $((size / 2)) >"$tmp/mkfs.log" 2>&1; then
    cat "$tmp/mkfs.log" >&2
    exit 1
  fi
  case "${type,,}" in 12|84|a0) ;; *) continue ;; esac
  [ $utility_done = 0 ] || continue
  utility_done=1
  if [ $velmar = 1 ] && [ "${type,,}" = 12 ]; then
    printf 'Velmar' | dd of="$out" bs=1 seek=$((start * 512 + 495)) conv=notrunc status=none
  fi
  if [ $bootfiles = 1 ]; then
    img="$out@@$((start * 512))"
    pattern "IO.SYS of the utility partition" 5000 >"$tmp/IO.SYS"
    pattern "MSDOS.SYS" 300 >"$tmp/MSDOS.SYS"
    pattern "QVSTART.SYS starts the diagnostics" 9000 >"$tmp/QVSTART.SYS"
    mcopy -i "$img" "$tmp/IO.SYS" ::IO.SYS
    mcopy -i "$img" "$tmp/MSDOS.SYS" ::MSDOS.SYS
    mlabel -i "$img" ::KALUUTIL
    mcopy -i "$img" "$tmp/QVSTART.SYS" ::QVSTART.SYS
  fi
done
done_ok=1
