// The production validator's pieces: the problem list, the pack held in
// memory, and the checks, each adding every problem it finds. The content
// checks run without GL and gather what the effect checks need; only the
// effect checks need the GL context.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace check {

struct Problem {
  std::string file;  // pack entry name, or the path of a file on disk
  std::string reason;
  bool warning = false;
  int line = 0;  // 1-based line in the file, 0 when the problem has none
};

// Problems in the order found; a problem already listed is not listed again.
class Report {
 public:
  void error(const std::string& file, const std::string& reason) { add({file, reason, false}); }
  void error(const std::string& file, int line, const std::string& reason) { add({file, reason, false, line}); }
  void warning(const std::string& file, const std::string& reason) { add({file, reason, true}); }
  const std::vector<Problem>& problems() const { return mProblems; }
  size_t errorCount() const;

 private:
  void add(Problem p);
  std::vector<Problem> mProblems;
  std::set<std::string> mSeen;
};

// Every entry of a pack file read into memory. Lookups are exact, as the
// engine's are; of equal names the first counts.
class Pack {
 public:
  // False with a reason when the file is missing or not a valid pack.
  bool open(const std::string& path, std::string& error);
  // The entry's bytes, or null when there is no such entry.
  const std::vector<uint8_t>* find(const std::string& name) const;
  // "X is not in the pack", naming a stored name that differs only in
  // letter case or separators when there is one.
  std::string missing(const std::string& name) const;
  // Every name, in table order, each once.
  const std::vector<std::string>& names() const { return mNames; }
  // Entries cut short by the file's end, and names stored twice.
  const std::vector<Problem>& tableProblems() const { return mTableProblems; }

 private:
  std::map<std::string, std::vector<uint8_t>> mEntries;
  std::vector<std::string> mNames;
  std::vector<Problem> mTableProblems;
};

// Something that must hold of an effect, and where it was asked for.
struct EffectRequirement {
  std::string file;   // who asks (reported there)
  std::string where;  // "PostEffectEntry \"bloom\": ", or empty
  std::string param;  // a parameter name or semantic it must declare, or empty
  int passes = 0;     // the least number of passes it must have
};

// What the content checks hand to the GL stage.
struct Needs {
  // Every effect entry the show loads (present in the pack), with what the
  // show sets on it.
  std::map<std::string, std::vector<EffectRequirement>> effects;
  // Custom texture samplers: sampler name -> where it is bound.
  std::map<std::string, std::string> samplers;
  // The last eTime of the timeline (ms), when there is one.
  bool hasTimeline = false;
  uint32_t lastETime = 0;
  std::string lastETimeEntry;
};

// Definitions, scene files, models, textures and scene classes.
void checkContent(const Pack& pack, Report& report, Needs& needs);
// Compiles every effect of the pack on the current GL context and checks
// the requirements on the ones the show loads.
void checkEffects(const Pack& pack, const Needs& needs, Report& report);
// Decodes the music whole and checks the timeline lies within it.
void checkMusic(const std::string& path, const Needs& needs, Report& report);

// The whole of vesper-check on a pack and its music: content, effects
// (compiled on a hidden GL context unless `compileEffects` is false) and
// music.
Report checkProduction(const std::string& pakPath, const std::string& musicPath, bool compileEffects = true);
// Prints each problem on stdout as "FILE[:LINE]: [warning: ]REASON", then
// "TOOL: N errors, M warnings" on stderr. Returns the number of errors.
size_t printReport(const Report& report, const char* tool);

// Whether an entry is one of the texture formats the engine decodes, or an
// effect file (by extension, ignoring case).
bool isTextureName(const std::string& name);
bool isEffectName(const std::string& name);

}  // namespace check
