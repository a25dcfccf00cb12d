// The update package container: the runner's own image, then members (a
// 512-byte header and the data each), then a 28-byte trailer; every part
// checked with the reflected CRC-32 of ZIP. Shared by the runner, which
// reads packages, and the package builder, which writes them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#pragma pack(push, 1)
struct PackageTrailer {
  char magic[10];  // "FenoCraft" and a zero byte
  char kind;       // 'F'
  uint8_t reserved;
  uint32_t stubCrc;
  uint32_t stubLength;
  uint32_t requiredMb;
  uint32_t trailerCrc;  // over bytes 0 to 23
};

struct MemberHeader {
  char magic[10];  // "FenoCraft" and a zero byte
  char type;       // 'T': more members follow; 'I': the last member
  char name[13];   // zero-terminated, zero-padded
  uint32_t dataSize;
  uint32_t dataCrc;
  uint32_t headerCrc;  // over bytes 0 to 31
  uint8_t reserved[476];
};
#pragma pack(pop)

static_assert(sizeof(PackageTrailer) == 28, "trailer layout");
static_assert(sizeof(MemberHeader) == 512, "member header layout");
static_assert(offsetof(MemberHeader, dataSize) == 24 && offsetof(MemberHeader, headerCrc) == 32, "header fields");
static_assert(offsetof(PackageTrailer, stubLength) == 16 && offsetof(PackageTrailer, trailerCrc) == 24,
              "trailer fields");

extern const char PACKAGE_MAGIC[10];
extern const char INCONSISTENCY_MESSAGE[];

// CRC-32: the register starts at 0xFFFFFFFF and the result is inverted.
void crc32Table(void);
uint32_t crc32Update(size_t length, uint32_t crc, const void *data);
uint32_t crc32Of(const void *data, size_t length);  // a whole block, inverted

// Reading side. Each returns 1 on success, 0 after reporting the failure:
// `report` says whether its texts go to standard output (the inconsistency
// message is printed in any case).
int readTrailer(FILE *file, PackageTrailer *trailer, bool report);
int checkStub(FILE *file, const PackageTrailer &trailer, bool report);
int readMemberHeader(FILE *file, MemberHeader *header);
bool headerIsConsistent(const MemberHeader &header);
// A member name that can only name a file in the work folder: not empty,
// zero-terminated within its field, at most 12 characters, no separator,
// not "." or "..".
bool memberNameIsPlain(const MemberHeader &header);

// Writing side (the package builder): the fields and CRCs of a header and
// of a trailer.
void fillMemberHeader(MemberHeader *header, char type, const char *name, uint32_t dataSize, uint32_t dataCrc);
void fillTrailer(PackageTrailer *trailer, uint32_t stubCrc, uint32_t stubLength, uint32_t requiredMb);
