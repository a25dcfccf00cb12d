// Private-profile (INI) files: the system's own small reader and writer with
// the rules of the original platform's functions (names without regard to
// case, blanks trimmed, values cut to the caller's buffer, a write that
// replaces or adds one key and leaves every other line as it was).
#include <strings.h>

#include <cstring>
#include <string>
#include <vector>

#include "plat.h"

static std::string trim(const std::string &s) {
  size_t a = s.find_first_not_of(" \t"), b = s.find_last_not_of(" \t\r");
  return a == std::string::npos ? "" : s.substr(a, b - a + 1);
}

static bool readLines(const char *file, std::vector<std::string> *lines, bool *crlf) {
  FILE *f = platOpenFile(file, "rb");
  if (!f) return false;
  std::string all;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, f)) > 0) all.append(buf, n);
  fclose(f);
  *crlf = all.find("\r\n") != std::string::npos || all.empty();
  size_t start = 0;
  while (start < all.size()) {
    size_t end = all.find('\n', start);
    std::string line = all.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines->push_back(line);
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return true;
}

static bool isSection(const std::string &line, std::string *name) {
  std::string t = trim(line);
  if (t.size() < 2 || t[0] != '[') return false;
  size_t close = t.find(']');
  if (close == std::string::npos) return false;
  *name = trim(t.substr(1, close - 1));
  return true;
}

static bool isKey(const std::string &line, const char *key, std::string *value) {
  size_t eq = line.find('=');
  if (eq == std::string::npos || strcasecmp(trim(line.substr(0, eq)).c_str(), key) != 0) return false;
  if (value) *value = trim(line.substr(eq + 1));
  return true;
}

void platIniRead(const char *file, const char *section, const char *key, const char *def, char *out,
                 size_t outSize) {
  std::vector<std::string> lines;
  bool crlf;
  std::string value = def;
  if (readLines(file, &lines, &crlf)) {
    bool inSection = false;
    for (const std::string &l : lines) {
      std::string name;
      if (isSection(l, &name)) {
        inSection = strcasecmp(name.c_str(), section) == 0;
      } else if (inSection && isKey(l, key, &value)) {
        break;
      }
    }
  }
  if (outSize == 0) return;
  size_t n = std::min(value.size(), outSize - 1);
  memcpy(out, value.data(), n);
  out[n] = 0;
}

int platIniWrite(const char *file, const char *section, const char *key, const char *value) {
  std::vector<std::string> lines;
  bool crlf = true;
  readLines(file, &lines, &crlf);
  std::string entry = std::string(key) + "=" + value;
  int sectionLine = -1, lastInSection = -1;
  bool done = false;
  for (size_t i = 0; i < lines.size() && !done; i++) {
    std::string name;
    if (isSection(lines[i], &name)) {
      if (sectionLine >= 0) break;  // past our section
      if (strcasecmp(name.c_str(), section) == 0) sectionLine = lastInSection = (int)i;
    } else if (sectionLine >= 0) {
      if (isKey(lines[i], key, nullptr)) {
        lines[i] = entry;
        done = true;
      } else if (!trim(lines[i]).empty()) {
        lastInSection = (int)i;
      }
    }
  }
  if (!done && sectionLine >= 0) lines.insert(lines.begin() + lastInSection + 1, entry);
  if (!done && sectionLine < 0) {
    lines.push_back("[" + std::string(section) + "]");
    lines.push_back(entry);
  }
  FILE *f = platOpenFile(file, "wb");
  if (!f) return 0;
  const char *eol = crlf ? "\r\n" : "\n";
  for (const std::string &l : lines) {
    fputs(l.c_str(), f);
    fputs(eol, f);
  }
  return fclose(f) == 0;
}
