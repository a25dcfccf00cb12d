// probe_dll: a program linked with QvKalu.dll at load time, binding through
// the ordinal table as the updater does. It shows whether main was reached
// and what the exports answer.
#include <cstdio>

#include "kalu_api.h"

int main(void) {
  printf("main reached\n");
  auto isPresent = reinterpret_cast<int (*)(void)>(KaLu_ordinals[KALU_ORD_IS_PRESENT]);
  auto isPresentTwin = reinterpret_cast<int (*)(void)>(KaLu_ordinals[KALU_ORD_IS_PRESENT + 17]);
  auto lastError = reinterpret_cast<int (*)(void)>(KaLu_ordinals[KALU_ORD_GETLASTERROR]);
  int p = isPresent();
  int e1 = lastError(), e2 = lastError();
  int t = isPresentTwin();
  printf("present=%d err=%d/%d twin=%d\n", p, e1, e2, t);
  return 0;
}
