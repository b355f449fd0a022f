/* Preloaded into the sanitizer runs: modules are never unloaded, so that
   LeakSanitizer can still read the stacks of what the system libraries
   (Mesa's drivers, which SDL loads and unloads) keep for the process's
   lifetime, and its suppressions can name them. */
#include <stddef.h>

int dlclose(void* handle) {
  (void)handle;
  return 0;
}
