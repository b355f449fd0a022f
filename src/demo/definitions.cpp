// Definition documents to records.
#include "demo/definitions.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "files/files.h"

namespace {

// The root's "name" must begin with `prefix`.
bool rootNamed(const XmlNode& root, const char* prefix) {
  if (root.isEmpty()) return false;
  const char* name = root.getAttribute("name");
  return name && std::strncmp(name, prefix, std::strlen(prefix)) == 0;
}

std::string entryName(const char* tag, int index) { return std::string(tag) + " " + std::to_string(index); }

// Reads every attribute of `names` into `values`; false (and a problem naming
// the first missing one) when one is absent.
template <size_t N>
bool readAttributes(const XmlNode& node, const char* const (&names)[N], const char* (&values)[N],
                    const std::string& entry, std::vector<DefinitionProblem>& problems) {
  for (size_t i = 0; i < N; ++i) {
    values[i] = node.getAttribute(names[i]);
    if (!values[i]) {
      problems.push_back({entry, std::string("missing attribute \"") + names[i] + "\"; entry skipped"});
      return false;
    }
  }
  return true;
}

uint32_t asTime(const char* text) { return static_cast<uint32_t>(std::atol(text)); }

// "float", "float2", "float3", "float4": how many numbers the value holds;
// 0 for any other type name.
int floatTypeWidth(const char* type) {
  if (std::strcmp(type, "float") == 0) return 1;
  if (std::strcmp(type, "float2") == 0) return 2;
  if (std::strcmp(type, "float3") == 0) return 3;
  if (std::strcmp(type, "float4") == 0) return 4;
  return 0;
}

// Reads a constant's value: the numbers in order, the last one repeated into
// the remaining components. False when the value has fewer numbers.
bool readConstantValue(const char* text, int width, float (&value)[4]) {
  const char* p = text;
  for (int i = 0; i < width; ++i) {
    if (i > 0) {
      p = std::strchr(p, ',');
      if (!p) return false;
      ++p;
    }
    value[i] = static_cast<float>(std::atof(p));
  }
  for (int i = width; i < 4; ++i) value[i] = value[width - 1];
  return true;
}

// "3" is line buffer 3, "w3" work buffer 3; false for anything outside 0-9.
bool readBufferIndex(const char* text, bool& fromWork, int& index) {
  fromWork = text[0] == 'w' || text[0] == 'W';
  const char* digits = fromWork ? text + 1 : text;
  if (*digits == '\0') return false;
  for (const char* c = digits; *c; ++c)
    if (*c < '0' || *c > '9') return false;
  if (std::strlen(digits) > 2) return false;
  index = std::atoi(digits);
  return index >= 0 && index < kWorkBufferCount;
}

void readConstants(const XmlNode& node, const std::string& entry, PostEffectRecord& record,
                   std::vector<DefinitionProblem>& problems) {
  static const char* const kNames[] = {"param", "type", "value"};
  for (int i = 0, n = node.countChildren("ConstantEntry"); i < n; ++i) {
    const XmlNode child = node.getChild("ConstantEntry", i);
    const std::string where = entry + " " + entryName("ConstantEntry", i);
    const char* values[3];
    if (!readAttributes(child, kNames, values, where, problems)) continue;
    PostEffectConstant constant;
    constant.param = values[0];
    const int width = floatTypeWidth(values[1]);
    if (width == 0) {
      problems.push_back({where, std::string("unknown type \"") + values[1] + "\"; constant skipped"});
      continue;
    }
    if (!readConstantValue(values[2], width, constant.value)) {
      problems.push_back({where, std::string("value \"") + values[2] + "\" has fewer than " +
                                     std::to_string(width) + " numbers; constant skipped"});
      continue;
    }
    record.constants.push_back(std::move(constant));
  }
}

void readSources(const XmlNode& node, const std::string& entry, PostEffectRecord& record,
                 std::vector<DefinitionProblem>& problems) {
  static const char* const kNames[] = {"param", "type", "lineId"};
  for (int i = 0, n = node.countChildren("SourceLineEntry"); i < n; ++i) {
    const XmlNode child = node.getChild("SourceLineEntry", i);
    const std::string where = entry + " " + entryName("SourceLineEntry", i);
    const char* values[3];
    if (!readAttributes(child, kNames, values, where, problems)) continue;
    PostEffectSource source;
    source.param = values[0];
    if (std::strcmp(values[1], "color") == 0) {
      source.kind = 0;
    } else if (std::strcmp(values[1], "depth") == 0) {
      source.kind = 1;
    } else {
      problems.push_back({where, std::string("unknown type \"") + values[1] + "\"; source skipped"});
      continue;
    }
    if (!readBufferIndex(values[2], source.fromWork, source.index)) {
      problems.push_back({where, std::string("lineId \"") + values[2] + "\" is not 0-9 or w0-w9; source skipped"});
      continue;
    }
    record.sources.push_back(std::move(source));
  }
}

}  // namespace

bool readSceneLines(const XmlNode& root, std::vector<SceneLineRecord>& out,
                    std::vector<DefinitionProblem>& problems) {
  out.clear();
  if (!rootNamed(root, "sceneLineDefine")) return false;
  static const char* const kNames[] = {"shader", "qdfId", "eTime", "sTime", "line"};
  int perLine[kSceneLineCount] = {};
  for (int i = 0, n = root.countChildren("SceneLineEntry"); i < n; ++i) {
    const XmlNode node = root.getChild("SceneLineEntry", i);
    const std::string entry = entryName("SceneLineEntry", i);
    const char* values[5];
    if (!readAttributes(node, kNames, values, entry, problems)) continue;
    SceneLineRecord record;
    record.shader = values[0];
    record.qdfId = values[1];
    record.eTime = asTime(values[2]);
    record.sTime = asTime(values[3]);
    record.line = std::atoi(values[4]);
    if (record.line < 0 || record.line >= kSceneLineCount) {
      problems.push_back({entry, std::string("line \"") + values[4] + "\" is outside 0-9; entry skipped"});
      continue;
    }
    if (perLine[record.line] == kScenesPerLine) {
      problems.push_back({entry, "line " + std::to_string(record.line) + " already holds " +
                                     std::to_string(kScenesPerLine) + " scenes; entry skipped"});
      continue;
    }
    ++perLine[record.line];
    out.push_back(std::move(record));
  }
  return true;
}

bool readQdfEntries(const XmlNode& root, std::vector<QdfEntryRecord>& out,
                    std::vector<DefinitionProblem>& problems) {
  out.clear();
  if (!rootNamed(root, "qdfDefine")) return false;
  static const char* const kNames[] = {"id", "path"};
  for (int i = 0, n = root.countChildren("QdfEntry"); i < n; ++i) {
    const char* values[2];
    if (!readAttributes(root.getChild("QdfEntry", i), kNames, values, entryName("QdfEntry", i), problems)) continue;
    out.push_back({values[0], values[1]});
  }
  return true;
}

bool readPostEffects(const XmlNode& root, std::vector<PostEffectRecord>& out,
                     std::vector<DefinitionProblem>& problems) {
  out.clear();
  if (!rootNamed(root, "postEffectDefine")) return false;
  static const char* const kNames[] = {"sTime", "eTime", "shader", "execPrio", "execPass", "renderTarget"};
  for (int i = 0, n = root.countChildren("PostEffectEntry"); i < n; ++i) {
    const XmlNode node = root.getChild("PostEffectEntry", i);
    const std::string entry = entryName("PostEffectEntry", i);
    PostEffectRecord record;
    readConstants(node, entry, record, problems);
    readSources(node, entry, record, problems);
    const char* values[6];
    if (!readAttributes(node, kNames, values, entry, problems)) continue;
    record.sTime = asTime(values[0]);
    record.eTime = asTime(values[1]);
    record.shader = values[2];
    record.execPrio = static_cast<uint32_t>(std::atol(values[3]));
    record.execPass = std::atoi(values[4]);
    record.renderTarget = std::atoi(values[5]);
    if (record.renderTarget < -1 || record.renderTarget >= kWorkBufferCount) {
      problems.push_back({entry, std::string("renderTarget \"") + values[5] + "\" is outside -1..9; entry skipped"});
      continue;
    }
    if (record.execPass < -1) {
      problems.push_back({entry, std::string("execPass \"") + values[4] + "\" is below -1; entry skipped"});
      continue;
    }
    out.push_back(std::move(record));
  }
  std::stable_sort(out.begin(), out.end(),
                   [](const PostEffectRecord& a, const PostEffectRecord& b) { return a.execPrio < b.execPrio; });
  return true;
}

bool readCustomTextures(const XmlNode& root, std::vector<CustomTextureRecord>& out,
                        std::vector<DefinitionProblem>& problems) {
  out.clear();
  if (!rootNamed(root, "shaderTextureDefine")) return false;
  static const char* const kNames[] = {"sampler", "path"};
  for (int i = 0, n = root.countChildren("TextureEntry"); i < n; ++i) {
    const char* values[2];
    if (!readAttributes(root.getChild("TextureEntry", i), kNames, values, entryName("TextureEntry", i), problems))
      continue;
    out.push_back({values[0], values[1]});
  }
  return true;
}

void keepReferencedQdfEntries(std::vector<QdfEntryRecord>& entries, const std::vector<SceneLineRecord>& lines) {
  entries.erase(std::remove_if(entries.begin(), entries.end(),
                               [&](const QdfEntryRecord& e) {
                                 return std::none_of(lines.begin(), lines.end(),
                                                     [&](const SceneLineRecord& l) { return l.qdfId == e.id; });
                               }),
                entries.end());
}

const QdfEntryRecord* findQdfEntry(const std::vector<QdfEntryRecord>& entries, const std::string& id) {
  for (auto it = entries.rbegin(); it != entries.rend(); ++it)
    if (it->id == id) return &*it;
  return nullptr;
}

std::string shaderPathOf(const std::string& name) { return "data\\shader\\" + name + ".cgfx"; }

XmlNode loadDefinitionDocument(const char* pPath) {
  if (!entryExists(pPath)) return XmlNode();
  const std::vector<char> text = loadEntryText(pPath);
  return parseDefinitionDocument(pPath, text.data(), std::strlen(text.data()), kDefinitionRoot);
}
