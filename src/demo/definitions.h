// The show's four definition documents as plain records: the timeline, the
// scene-file list, the post-effect chain and the custom texture bindings.
// The readers work on an already parsed root and never touch GL or the
// resource manager, so the player and the production validator share them.
// Entries the show has no room for are skipped and reported, one problem
// each, naming the entry and the reason.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "xml/xml.h"

inline constexpr char kSceneLineDefinePath[] = "data\\definition\\sceneLineDefine.xml";
inline constexpr char kQdfDefinePath[] = "data\\definition\\qdfDefine.xml";
inline constexpr char kPostEffectDefinePath[] = "data\\definition\\postEffectDefine.xml";
inline constexpr char kCustomTextureDefinePath[] = "data\\definition\\customTextureDefine.xml";
inline constexpr char kDefinitionRoot[] = "QXDataXml";

inline constexpr int kSceneLineCount = 10;
inline constexpr int kScenesPerLine = 32;
inline constexpr int kWorkBufferCount = 10;

// One skipped or doubtful entry: `entry` is e.g. "SceneLineEntry 3" (counted
// from 0 in document order), `reason` one line without the file name.
struct DefinitionProblem {
  std::string entry;
  std::string reason;
  bool warning = false;  // the entry was kept, but looks wrong
};

struct SceneLineRecord {
  std::string qdfId;
  int line = 0;
  uint32_t sTime = 0;
  uint32_t eTime = 0;
  std::string shader;  // "default": no override effect
};

struct QdfEntryRecord {
  std::string id;
  std::string path;
};

struct PostEffectConstant {
  std::string param;
  float value[4] = {0.0f, 0.0f, 0.0f, 0.0f};
};

struct PostEffectSource {
  std::string param;
  int kind = 0;  // 0: colour, 1: depth
  bool fromWork = false;
  int index = 0;
};

struct PostEffectRecord {
  uint32_t sTime = 0;
  uint32_t eTime = 0;
  std::string shader;
  uint32_t execPrio = 0;  // ascending; compared unsigned, so negative runs last
  int execPass = -1;      // -1: every pass
  int renderTarget = -1;  // -1: the final buffer; 0-9: a work buffer
  std::vector<PostEffectConstant> constants;
  std::vector<PostEffectSource> sources;
};

struct CustomTextureRecord {
  std::string sampler;
  std::string path;
};

// Each reader returns false, leaving `out` empty, when the root's "name" does
// not begin with the document's expected prefix (or the root is empty).
bool readSceneLines(const XmlNode& root, std::vector<SceneLineRecord>& out,
                    std::vector<DefinitionProblem>& problems);
bool readQdfEntries(const XmlNode& root, std::vector<QdfEntryRecord>& out,
                    std::vector<DefinitionProblem>& problems);
// Sorted by execPrio, equal priorities in file order.
bool readPostEffects(const XmlNode& root, std::vector<PostEffectRecord>& out,
                     std::vector<DefinitionProblem>& problems);
bool readCustomTextures(const XmlNode& root, std::vector<CustomTextureRecord>& out,
                        std::vector<DefinitionProblem>& problems);

// Keeps the entries some timeline line refers to (exact id comparison).
void keepReferencedQdfEntries(std::vector<QdfEntryRecord>& entries, const std::vector<SceneLineRecord>& lines);

// The scene-file path a timeline id plays: the last entry with that id, or
// null when there is none.
const QdfEntryRecord* findQdfEntry(const std::vector<QdfEntryRecord>& entries, const std::string& id);

// Effect path of a shader name: "data\shader\" + name + ".cgfx".
std::string shaderPathOf(const std::string& name);

// Reads a definition document from the open pack and parses it with the
// definition root (a parse error is shown by the XML layer). A missing entry
// gives the empty node.
XmlNode loadDefinitionDocument(const char* pPath);

// Writes each problem once to stderr, naming the document and the entry.
void reportDefinitionProblems(const char* pDocument, const std::vector<DefinitionProblem>& problems);
