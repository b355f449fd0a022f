// The resource base: the common load step, reload by name, the extension
// rule, and the model-count scan of scene animation files.
#include <cctype>
#include <cstring>

#include "files/files.h"
#include "resources/resources.h"

bool resourceObject::load(CoreFileStream& stream) {
  unload();
  name = stream.getName();
  baseName = resourceBaseName(name);
  return true;
}

bool resourceObject::canLoad(CoreFileStream&) { return false; }

bool resourceObject::unload() { return false; }

bool resourceObject::reload() {
  // Copied: load replaces `name` while the file still refers to it.
  const std::string own = name;
  CoreFile file(own.c_str(), MODE_READ);
  CoreFileStream stream(&file);
  if (file.getSize() == 0) return false;
  return load(stream);
}

bool hasExtension(const CoreFileStream& stream, std::initializer_list<const char*> extensions) {
  const std::string& ext = stream.getExtension();
  for (const char* candidate : extensions) {
    if (ext.size() != std::strlen(candidate)) continue;
    bool same = true;
    for (size_t i = 0; i < ext.size() && same; ++i) {
      same = std::tolower(static_cast<unsigned char>(ext[i])) ==
             std::tolower(static_cast<unsigned char>(candidate[i]));
    }
    if (same) return true;
  }
  return false;
}

std::string resourceBaseName(const std::string& entryName) {
  const size_t sep = entryName.find_last_of("\\/:");
  std::string base = sep == std::string::npos ? entryName : entryName.substr(sep + 1);
  const size_t dot = base.rfind('.');
  if (dot != std::string::npos) base.erase(dot);
  return base;
}

namespace {

// The scene-file word reader: words split at whitespace, each cut again at
// its first "(", ")" or space, the rest being the next token.
class SceneTokens {
 public:
  explicit SceneTokens(const char* text) : mP(text) {}

  // False when the text is exhausted.
  bool next(std::string& token) {
    if (mPending.empty()) {
      while (*mP != '\0' && isBreak(*mP)) ++mP;
      if (*mP == '\0') return false;
      const char* start = mP;
      while (*mP != '\0' && !isBreak(*mP)) ++mP;
      mPending.assign(start, mP);
    }
    const size_t cut = mPending.find_first_of("() ");
    if (cut == std::string::npos) {
      token.swap(mPending);
      mPending.clear();
    } else {
      token = mPending.substr(0, cut);
      mPending.erase(0, cut + 1);
    }
    return true;
  }

 private:
  static bool isBreak(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
  }
  const char* mP;
  std::string mPending;
};

}  // namespace

int countSceneModels(const char* pName) {
  const std::vector<char> text = loadEntryText(pName);
  SceneTokens tokens(text.data());
  std::string token;
  int count = 0;
  while (tokens.next(token) && token != "Eof") {
    if (token != "MQO") continue;
    tokens.next(token);  // the opening brace, whatever it is
    while (tokens.next(token) && token != "}") {
      if (token.find(".mqo") != std::string::npos) ++count;
    }
  }
  return count;
}
