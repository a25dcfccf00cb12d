// The updater's process-wide records: the switches and folders of the run,
// the library's exports bound by ordinal, and the operations of the flow
// and of the installation.
#pragma once

#include <string>

#include "kalu_api.h"

// ---- Run state ------------------------------------------------------------------
extern int silentMode;
extern std::string packageFolder;   // from the command line, used unchanged
extern std::string expandedFolder;  // packageFolder + "/expanded"
enum { LOCAL_PATH_MAX = 259, CONFIG_PATH_MAX = 199 };

// ---- The library, bound through its ordinal table only ---------------------------------
struct KaLuExports {
  int (*isPresent)(void);
  KALU_HANDLE (*fopen)(const char *, const char *);
  int (*fclose)(KALU_HANDLE);
  int (*fread)(void *, unsigned int, int, KALU_HANDLE);
  int (*fwrite)(const void *, unsigned int, int, KALU_HANDLE);
  int (*remove)(const char *);
  int (*rename)(const char *, const char *);
  int (*mkdir)(const char *);
  int (*findfirstEx)(const char *, int, FindRecord *);
  int (*findnextEx)(FindRecord *);
  int (*resetContents)(void);
};
extern KaLuExports kalu;
void bindLibrary(void);

// ---- Console ---------------------------------------------------------------------
void waitForKey(void);              // one key unless silent; end of input counts

// ---- Installation --------------------------------------------------------------------
int prepareConfig(const std::string &folder);
int copyTreeToPartition(const std::string &folder);
int copyFileToPartition(const std::string &localPath);
int commitConfig(void);
void copyLocalFile(const std::string &src, const std::string &dst);
void removeLocalTree(const std::string &folder);
void removeExpandedFiles(void);
// The partition path of a local path below expandedFolder ('\' separators);
// empty when it has none or it does not fit the library's paths.
std::string partitionPathOf(const std::string &localPath);
// Whether the expanded tree can be installed at all: names the library keeps
// as they are, paths that fit, and a lower bound of its size within the
// partition's capacity. Checked before the partition is emptied.
int treeCanBeInstalled(void);
