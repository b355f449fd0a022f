#include "mqo_convert.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

#include "model/model.h"

namespace mqo_convert {

Result convert(const std::vector<char>& text, const std::string& file, const MqoReadOptions& options) {
  Result result;
  MqoModel model;
  int line = 0;
  std::vector<MqoNote> notes;
  std::string error;
  const bool parsed = parseMqoText(text.data(), text.size(), model, error, line, options, &notes);
  for (const MqoNote& note : notes) {
    result.notes.push_back(note.line > 0 ? file + ":" + std::to_string(note.line) + ": " + note.text
                                         : file + ": " + note.text);
  }
  if (!parsed) {
    result.error = file + ":" + std::to_string(line) + ": " + error;
    return result;
  }
  result.bmdl = writeBinaryModel(model);
  MqoModel check;
  if (!parseBinaryModel(result.bmdl.data(), result.bmdl.size(), check, error)) {
    result.error = file + ":0: the binary model does not read back: " + error;
    result.bmdl.clear();
    return result;
  }
  result.ok = true;
  return result;
}

bool readWhole(const std::string& path, std::vector<char>& out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

bool writeReplacing(const std::string& path, const void* data, size_t size, std::string& reason) {
  const std::string temp = path + ".tmp" + std::to_string(getpid());
  std::FILE* f = std::fopen(temp.c_str(), "wb");
  if (f == nullptr) {
    reason = std::strerror(errno);
    return false;
  }
  bool ok = std::fwrite(data, 1, size, f) == size;
  ok = (std::fclose(f) == 0) && ok;
  if (!ok || std::rename(temp.c_str(), path.c_str()) != 0) {
    reason = std::strerror(errno);
    std::remove(temp.c_str());
    return false;
  }
  return true;
}

}  // namespace mqo_convert
