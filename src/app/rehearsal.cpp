// Rehearsal: the watcher over every file the show read from the source
// folder, and the reload of what changed, in place and at the show time.
#include "app/rehearsal.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <utility>

#include "app/command_line.h"
#include "app/managers.h"
#include "app/source_folder.h"
#include "demo/demo_manager.h"
#include "demo/demo_scene.h"
#include "demo/post_effects.h"
#include "files/files.h"
#include "platform/file_watch.h"
#include "platform/window.h"
#include "resources/resources.h"
#include "texture/texture.h"
#include "model/model.h"
#include "xml/xml.h"

namespace {

// A critical error raised while a reload runs, carried out of the engine
// code to the reload that started it.
struct CriticalDuringReload {
  std::string text;
};

[[noreturn]] void throwCritical(const std::string& text) { throw CriticalDuringReload{text}; }

struct Rehearsal {
  std::string dir;
  platform::FileWatch watch;
  size_t watchedReads = 0;  // folderReads() already watched
  std::string musicFile;    // music.ogg or score.txt at the root
  std::string frameError;   // the file of the critical error the last frame met
};

// "  entry: NAME" of a critical error's text, as a file of the folder where
// it is one; the text itself when it names none.
std::string criticalFile(const std::string& text) {
  const std::string key = "\n  entry: ";
  const size_t at = text.find(key);
  if (at == std::string::npos) return "(critical error)";
  const std::string entry = text.substr(at + key.size());
  const std::string file = folderFileOf(entry);
  return file.empty() ? entry : file;
}

std::string oneLine(std::string text) {
  std::replace(text.begin(), text.end(), '\n', ' ');
  return text;
}

RehearsalState gState;
std::unique_ptr<Rehearsal> gRehearsal;

bool isDefinitionDocument(const std::string& entry) {
  for (const char* path : {kSceneLineDefinePath, kQdfDefinePath, kPostEffectDefinePath, kCustomTextureDefinePath}) {
    if (entry == path) return true;
  }
  return false;
}

resourceObject* cachedResource(const std::string& entry) {
  for (resourceObject* r : resourceManager::instance().cachedResources()) {
    if (r->getName() == entry) return r;
  }
  return nullptr;
}

// Models whose draw units were compiled with `texture`'s GL texture: they
// are compiled again once the texture is replaced.
std::vector<resMQO*> modelsUsing(const resTexture& texture) {
  std::vector<resMQO*> models;
  if (texture.texture() == nullptr) return models;
  for (resourceObject* r : resourceManager::instance().cachedResources()) {
    auto* model = dynamic_cast<resMQO*>(r);
    if (model == nullptr || model->model() == nullptr) continue;
    for (uint32_t m = 0; m < model->getMaterialCount(); ++m) {
      if (model->getTexture(0, m) == texture.texture() || model->getTexture(1, m) == texture.texture()) {
        models.push_back(model);
        break;
      }
    }
  }
  return models;
}

// Lists the file's error (one per file) and writes it to stderr, unless
// `printed` says the file layer already wrote it in these words.
void setError(const std::string& file, int line, const std::string& reason, bool printed = false) {
  RehearsalError error{file, line, reason};
  auto known = std::find_if(gState.errors.begin(), gState.errors.end(),
                            [&](const RehearsalError& e) { return e.file == file; });
  if (known != gState.errors.end() && known->line == line && known->reason == reason) return;
  if (known != gState.errors.end()) {
    *known = error;
  } else {
    gState.errors.push_back(error);
  }
  ++gState.revision;
  if (!printed) std::fprintf(stderr, "%s\n", error.text().c_str());
}

void clearError(const std::string& file) {
  const size_t before = gState.errors.size();
  gState.errors.erase(std::remove_if(gState.errors.begin(), gState.errors.end(),
                                     [&](const RehearsalError& e) { return e.file == file; }),
                      gState.errors.end());
  if (gState.errors.size() != before) ++gState.revision;
}

// The reload of one file's entries. False, with the error set, when
// anything kept its last good version.
bool reloadEntries(const std::string& file, const std::vector<std::string>& entries) {
  resourceManager& resources = resourceManager::instance();
  bool rebuild = false;
  for (const std::string& entry : entries) {
    if (resourceObject* resource = cachedResource(entry)) {
      std::vector<resMQO*> dependents;
      if (auto* texture = dynamic_cast<resTexture*>(resource)) dependents = modelsUsing(*texture);
      std::string problem;
      int line = 0;
      if (!resources.reloadInPlace(*resource, problem, line)) {
        // A derived entry's own problem (the .mqo's line) says more.
        bool printed = false;
        for (const FileProblem& p : takeFolderProblems()) {
          problem = p.reason;
          line = p.line;
          printed = true;
        }
        setError(file, line, problem, printed);
        return false;
      }
      for (resMQO* model : dependents) {
        if (!resources.reloadInPlace(*model, problem, line)) {
          setError(file, line, model->getName() + ": " + problem);
          return false;
        }
      }
      // Effects are drawn through their resource alone; everything else may
      // be held in parts by the show's scenes and bindings.
      rebuild = rebuild || dynamic_cast<resShader*>(resource) == nullptr;
    } else if (isDefinitionDocument(entry)) {
      const std::vector<char> text = loadEntryText(entry.c_str());
      XmlResults results;
      XmlNode::parseText(text.data(), kDefinitionRoot, results);
      if (results.code != XmlError::None) {
        setError(file, results.line, XmlNode::errorMessage(results.code));
        return false;
      }
      rebuild = true;
    } else {
      rebuild = true;  // read while the show was built (a scene file's model count)
    }
  }
  if (rebuild) demoManager::instance().rebuildShow();
  return true;
}

void reloadFile(const std::string& file) {
  const auto start = std::chrono::steady_clock::now();
  std::vector<std::string> entries;
  for (const FolderRead& r : folderReads()) {
    if (r.file == file) entries.push_back(r.entry);
  }
  bool ok = false;
  const CoreDebug::CriticalHandler outer = CoreDebug::setCriticalHandler(throwCritical);
  try {
    if (file == gRehearsal->musicFile) {
      demoManager& demo = demoManager::instance();
      FileProblem problem;
      const std::string music = sourceFolderMusic(gRehearsal->dir, problem);
      if (music.empty()) {
        setError(problem.file, problem.line, problem.reason);
      } else {
        CWindowGL* window = systemManager::instance().window();
        ok = demo.reopenMusic(window ? window->handle() : nullptr, music);
        if (!ok) setError(file, 0, "the music cannot be opened");
      }
    } else {
      ok = reloadEntries(file, entries);
    }
  } catch (const CriticalDuringReload& e) {
    setError(file, 0, oneLine(e.text));
  }
  CoreDebug::setCriticalHandler(outer);
  takeFolderProblems();
  if (ok) clearError(file);
  gState.hasReload = true;
  gState.lastReload.file = file;
  gState.lastReload.showTimeMs = demoManager::instance().musicTime();
  gState.lastReload.milliseconds =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  gState.lastReload.ok = ok;
  ++gState.revision;
}

}  // namespace

std::string RehearsalError::text() const { return FileProblem{file, line, reason}.text(); }

const RehearsalState& rehearsalState() { return gState; }

bool startRehearsal(const std::string& sourceDir, std::string& reason) {
  auto rehearsal = std::make_unique<Rehearsal>();
  if (!rehearsal->watch.ok()) {
    reason = rehearsal->watch.error();
    return false;
  }
  rehearsal->dir = sourceDir;
  FileProblem problem;
  const std::string music = sourceFolderMusic(sourceDir, problem);
  rehearsal->musicFile = music.rfind(sourceDir + "/", 0) == 0 ? music : sourceDir + "/score.txt";
  rehearsal->watch.add(rehearsal->musicFile);
  gRehearsal = std::move(rehearsal);
  gState = RehearsalState{};
  gState.active = true;
  ++gState.revision;
  return true;
}

void pollRehearsal() {
  if (!gRehearsal) return;
  const std::vector<FolderRead>& reads = folderReads();
  for (; gRehearsal->watchedReads < reads.size(); ++gRehearsal->watchedReads) {
    const FolderRead& read = reads[gRehearsal->watchedReads];
    if (!gRehearsal->watch.add(read.file)) setError(read.file, 0, "not watched: " + gRehearsal->watch.error());
    // What was broken from the start is listed as well, until it is fixed.
    const resourceObject* resource = cachedResource(read.entry);
    if (resource && !resource->problem().empty()) setError(read.file, resource->problemLine(), resource->problem());
  }
  for (const FileProblem& p : takeFolderProblems()) setError(p.file, p.line, p.reason, true);
  for (const std::string& file : gRehearsal->watch.changed()) reloadFile(file);
}

bool rehearsalFrame(const std::function<bool()>& frame) {
  if (!gRehearsal) return frame();
  const CoreDebug::CriticalHandler outer = CoreDebug::setCriticalHandler(throwCritical);
  bool keepRunning = true;
  try {
    pollRehearsal();
    keepRunning = frame();
    if (!gRehearsal->frameError.empty()) clearError(std::exchange(gRehearsal->frameError, {}));
  } catch (const CriticalDuringReload& e) {
    gRehearsal->frameError = criticalFile(e.text);
    setError(gRehearsal->frameError, 0, oneLine(e.text));
  }
  CoreDebug::setCriticalHandler(outer);
  return keepRunning;
}

bool waitForRehearsalChange(int timeoutMs) { return gRehearsal && gRehearsal->watch.wait(timeoutMs); }

void stopRehearsal() {
  gRehearsal.reset();
  const uint64_t revision = gState.revision;
  gState = RehearsalState{};
  gState.revision = revision + 1;
}
