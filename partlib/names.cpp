// Names and path syntax of the partition: validation of the paths callers
// hand to the exports, conversion of text names into 11-byte FAT names, and
// the comparison of FAT names with '?' wildcards.
#include <cstring>
#include <string>
#include <strings.h>

#include "kalu_core.h"

static const char badNameChars[] = " ,;:|\\/<>\"+=[]";
static const char *const reservedNames[] = {"AUX",  "CON",  "PRN",  "NUL",  "COM",  "LPT1", "LPT2",
                                            "LPT3", "LPT4", "COM1", "COM2", "COM3", "COM4"};

static bool hasAnyOf(const std::string &s, const char *set) { return s.find_first_of(set) != std::string::npos; }

void splitPath(const std::string &text, PathParts *parts) {
  std::string rest = text;
  parts->drive.clear();
  if (rest.size() >= 2 && rest[1] == ':') {
    parts->drive = rest.substr(0, 2);
    rest = rest.substr(2);
  }
  size_t sep = rest.find_last_of("\\/");
  std::string last = sep == std::string::npos ? rest : rest.substr(sep + 1);
  size_t dot = last.rfind('.');
  parts->dir = (sep == std::string::npos ? "" : rest.substr(0, sep + 1)).substr(0, 255);
  parts->base = (dot == std::string::npos ? last : last.substr(0, dot)).substr(0, 255);
  parts->ext = dot == std::string::npos ? "" : last.substr(dot).substr(0, 255);
}

int validatePath(const char *path, int allowWildcards) {
  // A path must fit a 260-byte buffer: at most 259 characters.
  if (!path || strnlen(path, 260) > 259) return 0;
  std::string current = path;
  for (int pass = 1;; pass++) {
    PathParts p;
    splitPath(current, &p);
    if (!p.drive.empty() && (pass != 1 || p.drive != "#:")) return 0;
    if (p.base.empty()) return 0;
    if (!p.dir.empty() && p.dir.back() == '\\') p.dir.pop_back();
    if (!p.ext.empty() && p.ext[0] == '.') p.ext.erase(0, 1);
    if (hasAnyOf(p.base, badNameChars) || hasAnyOf(p.ext, badNameChars)) return 0;
    if ((pass > 1 || !allowWildcards) && (hasAnyOf(p.base, "*?") || hasAnyOf(p.ext, "*?"))) return 0;
    for (const char *r : reservedNames)
      if (strcasecmp(p.base.c_str(), r) == 0) return 0;
    if (p.dir.empty()) return 1;
    current = p.dir;
  }
}

static uint8_t upper(uint8_t c) { return c >= 'a' && c <= 'z' ? (uint8_t)(c - 32) : c; }

// A '*' and every later byte of its field become '?'.
static void expandStar(uint8_t *out, int from, int to) {
  for (int i = from; i < to; i++) {
    if (out[i] != '*') continue;
    for (int j = i; j < to; j++) out[j] = '?';
    return;
  }
}

void toFatName(const char *text, uint8_t *out) {
  memset(out, ' ', 11);
  size_t i = 0;
  for (int n = 0; text[i] && text[i] != '.' && n < 8; n++) out[n] = (uint8_t)text[i++];
  if (text[i] == '.') i++;
  for (int n = 8; text[i] && n < 11; n++) out[n] = (uint8_t)text[i++];
  expandStar(out, 0, 8);
  expandStar(out, 8, 11);
  for (int n = 0; n < 11; n++)
    if (out[n] != '?' && out[n] != ' ') out[n] = upper(out[n]);
}

void makeFatName(uint8_t *out, char *base, char *ext) {
  memset(out, ' ', 11);
  if (strlen(base) > 8) base[8] = 0;
  if (strlen(ext) > 3) ext[3] = 0;
  memcpy(out, base, strlen(base));
  memcpy(out + 8, ext, strlen(ext));
  expandStar(out, 0, 8);
  expandStar(out, 8, 11);
}

int matchFatName(const uint8_t *a, const uint8_t *b) {
  for (int i = 0; i < 11; i++)
    if (upper(a[i]) != upper(b[i]) && a[i] != '?' && b[i] != '?') return 0;
  return 1;
}

int sameFatName(const uint8_t *a, const uint8_t *b) {
  for (int i = 0; i < 11; i++)
    if (upper(a[i]) != upper(b[i])) return 0;
  return 1;
}
