// crcbench: CRC-32 throughput of the package's table-driven CRC against
// zlib's crc32 on the same 64 MiB buffer, with a check that both agree.
#include <zlib.h>

#include <chrono>
#include <cstdio>
#include <random>
#include <vector>

#include "container.h"

int main(void) {
  std::vector<unsigned char> buf(64u << 20);
  std::mt19937 rng(1);
  for (auto &b : buf) b = (unsigned char)rng();
  auto time = [](auto f) {
    auto t0 = std::chrono::steady_clock::now();
    unsigned long r = f();
    return std::make_pair(r, std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
  };
  auto ours = time([&] { return (unsigned long)crc32Of(buf.data(), buf.size()); });
  auto zl = time([&] { return crc32(0, buf.data(), (uInt)buf.size()); });
  double mb = buf.size() / 1048576.0;
  printf("crc32 64 MiB         package %7.1f MB/s   zlib %7.1f MB/s   ratio %5.2f   %s\n", mb / ours.second,
         mb / zl.second, ours.second / zl.second, ours.first == zl.first ? "same CRC" : "CRC DIFFERS");
  return ours.first == zl.first ? 0 : 1;
}
