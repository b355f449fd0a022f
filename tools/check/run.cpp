#include <cstdio>

#include "check.h"
#include "effect_compile.h"

namespace check {

Report checkProduction(const std::string& pakPath, const std::string& musicPath, bool compileEffects) {
  Report report;
  Needs needs;
  Pack pack;
  std::string error;
  if (!pack.open(pakPath, error)) {
    report.error(pakPath, error);
  } else {
    checkContent(pack, report, needs);
    if (compileEffects) {
      if (const auto gl = openEffectContext(error)) {
        checkEffects(pack, needs, report);
      } else {
        report.error(pakPath, "effects not compiled: " + error);
      }
    }
  }
  checkMusic(musicPath, needs, report);
  return report;
}

size_t printReport(const Report& report, const char* tool) {
  for (const Problem& p : report.problems()) {
    const std::string where = p.line > 0 ? p.file + ":" + std::to_string(p.line) : p.file;
    std::printf("%s: %s%s\n", where.c_str(), p.warning ? "warning: " : "", p.reason.c_str());
  }
  std::fflush(stdout);  // the count comes last also when both go to one pipe
  const size_t errors = report.errorCount();
  const size_t warnings = report.problems().size() - errors;
  std::fprintf(stderr, "%s: %zu error%s, %zu warning%s\n", tool, errors, errors == 1 ? "" : "s", warnings,
               warnings == 1 ? "" : "s");
  return errors;
}

}  // namespace check
