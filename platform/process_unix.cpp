// Processes and the console: program start with the original platform's
// command-line round trip (arguments joined by single blanks, then split
// again by its start-up rules), wait for the exit code, one key without
// echo and buffered line input, both from standard input so that piped
// answers arrive in order.
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "plat.h"

extern char **environ;

std::vector<std::string> platSplitCommandLine(const std::string &line) {
  std::vector<std::string> args;
  size_t i = 0, n = line.size();
  while (true) {
    while (i < n && (line[i] == ' ' || line[i] == '\t')) i++;
    if (i >= n) break;
    std::string arg;
    bool quoted = false;
    while (i < n && (quoted || (line[i] != ' ' && line[i] != '\t'))) {
      size_t slashes = 0;
      while (i < n && line[i] == '\\') slashes++, i++;
      if (i < n && line[i] == '"') {
        arg.append(slashes / 2, '\\');
        if (slashes % 2) {
          arg += '"';
        } else {
          quoted = !quoted;
        }
        i++;
      } else {
        arg.append(slashes, '\\');
        if (i < n && (quoted || (line[i] != ' ' && line[i] != '\t'))) arg += line[i++];
      }
    }
    args.push_back(arg);
  }
  return args;
}

int platRunProgram(const char *program, const std::vector<std::string> &args, int *exitCode) {
  std::string line;
  for (size_t k = 0; k < args.size(); k++) line += (k ? " " : "") + args[k];
  std::vector<std::string> split = platSplitCommandLine(line);
  std::vector<char *> argv;
  for (std::string &a : split) argv.push_back(&a[0]);
  argv.push_back(nullptr);
  char path[4096];
  if (!platResolveCase(program, path, sizeof path) || access(path, X_OK) != 0) return 0;
  pid_t pid;
  fflush(stdout);
  if (posix_spawn(&pid, path, nullptr, nullptr, argv.data(), environ) != 0) return 0;
  int status;
  while (waitpid(pid, &status, 0) < 0)
    if (errno != EINTR) return 0;
  *exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return 1;
}

void platSay(int quiet, const char *format, ...) {
  if (quiet) return;
  va_list ap;
  va_start(ap, format);
  vprintf(format, ap);
  va_end(ap);
  fflush(stdout);
}

int platReadKey(void) {
  fflush(stdout);
  struct termios saved;
  bool tty = isatty(0) && tcgetattr(0, &saved) == 0;
  if (tty) {
    struct termios raw = saved;
    raw.c_lflag &= (tcflag_t)~(ICANON | ECHO);
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    tcsetattr(0, TCSANOW, &raw);
  }
  int c = getchar();
  if (tty) tcsetattr(0, TCSANOW, &saved);
  return c == EOF ? -1 : c;
}

int platReadChar(void) {
  fflush(stdout);
  int c = getchar();
  return c == EOF ? -1 : c;
}
