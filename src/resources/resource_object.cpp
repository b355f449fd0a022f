// The resource base: the common load step, reload by name, the extension
// rule, and the word reader and model-count scan of scene animation files.
#include <cctype>
#include <cstring>

#include "files/files.h"
#include "resources/resources.h"

bool resourceObject::load(CoreFileStream& stream) {
  unload();
  setProblem(0, {});
  name = stream.getName();
  baseName = resourceBaseName(name);
  return true;
}

bool resourceObject::canLoad(CoreFileStream&) { return false; }

bool resourceObject::swapContents(resourceObject&) { return false; }

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

bool isBreak(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

}  // namespace

SceneTokenReader::SceneTokenReader(const char* text, size_t size) : mP(text), mEnd(text) {
  while (mEnd != text + size && *mEnd != '\0') ++mEnd;
}

bool SceneTokenReader::nextWord(std::string_view& word) {
  while (mP != mEnd && isBreak(*mP)) ++mP;
  const char* start = mP;
  while (mP != mEnd && !isBreak(*mP)) ++mP;
  word = std::string_view(start, static_cast<size_t>(mP - start));
  return !word.empty();
}

bool SceneTokenReader::next(std::string_view& token) {
  if (mPending.empty() && !nextWord(mPending)) {
    token = {};
    return false;
  }
  const size_t cut = mPending.find_first_of("() ");
  if (cut == std::string_view::npos) {
    token = mPending;
    mPending = {};
  } else {
    token = mPending.substr(0, cut);
    mPending.remove_prefix(cut + 1);
  }
  return true;
}

void SceneTokenReader::skipBlock() {
  int depth = 0;
  std::string_view word;
  do {
    if (!mPending.empty()) {
      word = mPending;
      mPending = {};
    } else if (!nextWord(word)) {
      return;
    }
    if (word == "{") ++depth;
    if (word == "}") --depth;
  } while (depth > 0);
}

int countSceneModels(const char* text, size_t size) {
  SceneTokenReader tokens(text, size);
  std::string_view token;
  int count = 0;
  while (tokens.next(token) && token != "Eof") {
    if (token != "MQO") continue;
    tokens.next(token);  // the opening brace, whatever it is
    while (tokens.next(token) && token != "}") {
      if (token.find(".mqo") != std::string_view::npos) ++count;
    }
  }
  return count;
}

int countSceneModels(const char* pName) {
  const std::vector<char> text = loadEntryText(pName);
  return countSceneModels(text.data(), text.size());
}
