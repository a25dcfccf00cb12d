// The update package container: CRC-32, the trailer, the front-part check
// and the member headers (see container.h).
#include "container.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

const char PACKAGE_MAGIC[10] = {'F', 'e', 'n', 'o', 'C', 'r', 'a', 'f', 't', 0};
const char INCONSISTENCY_MESSAGE[] =
    "There is an inconsistency in the update files.\n\nThis utility only works with its original and unmodified "
    "executable file.\n";

// table[0] is the classic byte table; tables 1 to 7 carry a byte through
// one to seven further byte steps, so eight bytes advance the register with
// eight lookups (the same register as eight single steps).
static uint32_t table[8][256];
static bool tableBuilt = false;

void crc32Table(void) {
  for (uint32_t i = 0; i < 256; i++) {
    uint32_t c = i;
    for (int k = 0; k < 8; k++) c = c & 1 ? (c >> 1) ^ 0xEDB88320u : c >> 1;
    table[0][i] = c;
  }
  for (int t = 1; t < 8; t++)
    for (uint32_t i = 0; i < 256; i++) table[t][i] = (table[t - 1][i] >> 8) ^ table[0][table[t - 1][i] & 0xFF];
  tableBuilt = true;
}

uint32_t crc32Update(size_t length, uint32_t crc, const void *data) {
  if (!tableBuilt) crc32Table();
  const uint8_t *p = static_cast<const uint8_t *>(data);
  for (; length >= 8; length -= 8, p += 8) {
    uint32_t a = crc ^ (uint32_t)(p[0] | p[1] << 8 | p[2] << 16 | (uint32_t)p[3] << 24);
    uint32_t b = (uint32_t)(p[4] | p[5] << 8 | p[6] << 16 | (uint32_t)p[7] << 24);
    crc = table[7][a & 0xFF] ^ table[6][(a >> 8) & 0xFF] ^ table[5][(a >> 16) & 0xFF] ^ table[4][a >> 24] ^
          table[3][b & 0xFF] ^ table[2][(b >> 8) & 0xFF] ^ table[1][(b >> 16) & 0xFF] ^ table[0][b >> 24];
  }
  for (; length; length--, p++) crc = table[0][(crc ^ *p) & 0xFF] ^ (crc >> 8);
  return crc;
}

uint32_t crc32Of(const void *data, size_t length) { return crc32Update(length, 0xFFFFFFFFu, data) ^ 0xFFFFFFFFu; }

static void inconsistent(void) { printf("%s", INCONSISTENCY_MESSAGE); }

int readTrailer(FILE *file, PackageTrailer *trailer, bool report) {
  if (fseek(file, -(long)sizeof *trailer, SEEK_END) != 0 || fread(trailer, 1, sizeof *trailer, file) != sizeof *trailer) {
    if (report) printf("%s\n", strerror(errno));
    return 0;
  }
  if (crc32Of(trailer, 24) != trailer->trailerCrc || strcmp(trailer->magic, "FenoCraft") != 0 || trailer->kind != 'F') {
    inconsistent();
    return 0;
  }
  return 1;
}

int checkStub(FILE *file, const PackageTrailer &trailer, bool report) {
  if (fseek(file, 0, SEEK_SET) != 0) {
    if (report) printf("%s.\n", strerror(errno));
    return 0;
  }
  constexpr uint32_t CHUNK = 20480;
  uint8_t *buffer = static_cast<uint8_t *>(malloc(CHUNK));
  if (!buffer) {
    if (report) printf("Insufficient memory.\n");
    return 0;
  }
  uint32_t crc = 0xFFFFFFFFu;
  for (uint32_t left = trailer.stubLength; left > 0;) {
    size_t n = fread(buffer, 1, left < CHUNK ? left : CHUNK, file);
    if (n == 0) break;
    crc = crc32Update(n, crc, buffer);
    left -= (uint32_t)n;
  }
  free(buffer);
  if (ferror(file)) {
    if (report) printf("%s.\n", strerror(errno));
    return 0;
  }
  if ((crc ^ 0xFFFFFFFFu) != trailer.stubCrc) {
    inconsistent();
    return 0;
  }
  if (fseek(file, (long)trailer.stubLength, SEEK_SET) != 0) {
    if (report) printf("%s.\n", strerror(errno));
    return 0;
  }
  return 1;
}

int readMemberHeader(FILE *file, MemberHeader *header) {
  return fread(header, 1, sizeof *header, file) == sizeof *header;
}

bool headerIsConsistent(const MemberHeader &header) {
  return crc32Of(&header, 32) == header.headerCrc && strcmp(header.magic, "FenoCraft") == 0;
}

bool memberNameIsPlain(const MemberHeader &header) {
  size_t n = strnlen(header.name, sizeof header.name);
  if (n == 0 || n > 12) return false;  // 13 means no terminator within the field
  std::string name(header.name, n);
  return name != "." && name != ".." && name.find_first_of("/\\") == std::string::npos;
}

void fillMemberHeader(MemberHeader *header, char type, const char *name, uint32_t dataSize, uint32_t dataCrc) {
  memset(header, 0, sizeof *header);
  memcpy(header->magic, PACKAGE_MAGIC, sizeof header->magic);
  header->type = type;
  strncpy(header->name, name, sizeof header->name - 1);
  header->dataSize = dataSize;
  header->dataCrc = dataCrc;
  header->headerCrc = crc32Of(header, 32);
}

void fillTrailer(PackageTrailer *trailer, uint32_t stubCrc, uint32_t stubLength, uint32_t requiredMb) {
  memset(trailer, 0, sizeof *trailer);
  memcpy(trailer->magic, PACKAGE_MAGIC, sizeof trailer->magic);
  trailer->kind = 'F';
  trailer->stubCrc = stubCrc;
  trailer->stubLength = stubLength;
  trailer->requiredMb = requiredMb;
  trailer->trailerCrc = crc32Of(trailer, 24);
}
