# common.sh - sourced by the benchmarks: strict mode, the repository as the
# working folder, what they need installed and built, a scratch folder that
# goes at exit, and mtools and the library set up for images.
set -euo pipefail
cd "$(dirname "$0")/.."
./tools/ensure-deps.sh
cmake -S . -B build >/dev/null && cmake --build build -j"$(nproc)" >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export MTOOLS_SKIP_CHECK=1 MTOOLS_NO_VFAT=1 KALU_NAMESPACE="bench$$"
now() { date +%s.%N; }
