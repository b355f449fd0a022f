// Metasequoia text reader: a cursor over the bytes that counts lines, and one
// function per chunk. Unknown statements are skipped by brace matching that
// honours strings and binary blocks ("[=N]" followed by N raw bytes).
#include "model/mqo_text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <set>
#include <utility>
#include <vector>

namespace {

bool isWordChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}
bool isNumberChar(char c) { return (c >= '0' && c <= '9') || c == '.' || c == '-' || c == '+' || c == 'e' || c == 'E'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isShiftJisLead(uint8_t c) { return (c >= 0x81 && c <= 0x9f) || (c >= 0xe0 && c <= 0xfc); }

// Metasequoia's own defaults for a material attribute left out.
MqoMaterial defaultMaterial() {
  MqoMaterial m;
  m.col = glm::vec4(1.0f);
  m.dif = 0.8f;
  m.amb = 0.6f;
  m.power = 5.0f;
  m.shader = 3;
  return m;
}

// Appends a mirrored copy of the object along `axis` (0 x, 1 y, 2 z); faces
// of the copy run the other way round so they still face outwards.
void mirrorObject(MqoObject& object, int axis, bool connected) {
  const size_t vertexCount = object.positions.size();
  std::vector<uint32_t> map(vertexCount);
  for (size_t i = 0; i < vertexCount; ++i) {
    glm::vec3 p = object.positions[i];
    if (connected && p[axis] == 0.0f) {
      map[i] = static_cast<uint32_t>(i);
      continue;
    }
    p[axis] = -p[axis];
    map[i] = static_cast<uint32_t>(object.positions.size());
    object.positions.push_back(p);
  }
  const size_t faceCount = object.faces.size();
  for (size_t f = 0; f < faceCount; ++f) {
    MqoFace face = object.faces[f];
    for (uint32_t c = 0; c < face.cornerCount; ++c) face.index[c] = map[face.index[c]];
    std::swap(face.index[1], face.index[2]);
    std::swap(face.uv[1], face.uv[2]);
    object.faces.push_back(face);
  }
}

class MqoReader {
 public:
  MqoReader(const char* text, size_t size, const MqoReadOptions& options, std::vector<MqoNote>* notes)
      : mPos(text), mEnd(text + size), mBegin(text), mOptions(options), mNotes(notes) {}

  bool parse(MqoModel& model);
  const std::string& error() const { return mError; }
  int errorLine() const { return mErrorLine; }

 private:
  // `line` 0: the cursor's line.
  bool fail(std::string reason, int line = 0);
  void note(int line, std::string text) {
    if (mNotes != nullptr) mNotes->push_back({line, std::move(text)});
  }
  bool failEnd(const std::string& what, int openLine) {
    return fail("file ends inside " + what + " opened on line " + std::to_string(openLine));
  }

  bool atEnd() const { return mPos >= mEnd; }
  char peek() const { return atEnd() ? '\0' : *mPos; }
  // Blanks, and line ends unless inside parentheses.
  void skipSpace();
  std::string_view word();
  std::string_view numberToken();
  bool expect(char c, const char* context);
  bool readInt(long long& value, const char* what);
  bool readCount(uint32_t& value, const char* what);
  bool readFloat(float& value, const char* what);
  bool readString(std::string& value, const char* what);
  bool readPackName(std::string& value, const char* what);
  bool skipParens();
  bool skipStatement(std::string_view name, int openLine);
  bool openChunk(uint32_t& count, const char* what);
  // Before each entry of a counted chunk (`what`: "vertex chunk"): true with
  // `closed` after its '}', where `have` must equal `count`; true at a
  // further entry; false at the file's end or an entry beyond the count.
  bool nextEntry(const char* what, int openLine, size_t have, uint32_t count, bool& closed);

  bool header();
  bool materials(MqoModel& model);
  bool materialAttribute(std::string_view name, MqoMaterial& material);
  bool object(MqoModel& model, int openLine);
  bool vertices(MqoObject& object);
  bool binaryVertices(MqoObject& object);
  bool faces(MqoObject& object);
  bool face(MqoObject& object, long long corners);

  const char* mPos;
  const char* mEnd;
  const char* mBegin;
  const MqoReadOptions mOptions;
  std::vector<MqoNote>* mNotes;
  std::set<std::string, std::less<>> mDroppedAttributes;
  int mLine = 1;
  bool mInParens = false;
  bool mShiftJis = true;
  std::string mError;
  int mErrorLine = 0;
  // The largest face material index and where it was, checked at the end
  // against the materials (which may come in any order).
  long long mMaxMaterial = -1;
  int mMaxMaterialLine = 0;
  std::vector<long long> mScratchIndices;
  std::vector<float> mScratchUv;
};

bool MqoReader::fail(std::string reason, int line) {
  if (!mError.empty()) return false;
  mError = std::move(reason);
  mErrorLine = line;
  if (line == 0) {
    // At the end of a file ending in a line feed, the last line is the one
    // before the (empty) line the cursor stands on.
    mErrorLine = mLine;
    if (atEnd() && mPos > mBegin && mPos[-1] == '\n' && mLine > 1) --mErrorLine;
  }
  return false;
}

void MqoReader::skipSpace() {
  while (mPos < mEnd) {
    const char c = *mPos;
    if (c == ' ' || c == '\t' || c == '\r') {
      ++mPos;
    } else if (c == '\n' && !mInParens) {
      ++mPos;
      ++mLine;
    } else {
      return;
    }
  }
}

std::string_view MqoReader::word() {
  skipSpace();
  const char* start = mPos;
  while (mPos < mEnd && isWordChar(*mPos)) ++mPos;
  return std::string_view(start, static_cast<size_t>(mPos - start));
}

std::string_view MqoReader::numberToken() {
  skipSpace();
  const char* start = mPos;
  while (mPos < mEnd && isNumberChar(*mPos)) ++mPos;
  return std::string_view(start, static_cast<size_t>(mPos - start));
}

bool MqoReader::expect(char c, const char* context) {
  skipSpace();
  if (peek() == c) {
    ++mPos;
    return true;
  }
  if (atEnd()) return fail(std::string("file ends where '") + c + "' " + context + " belongs");
  return fail(std::string("expected '") + c + "' " + context);
}

bool MqoReader::readInt(long long& value, const char* what) {
  std::string_view token = numberToken();
  if (!token.empty() && token[0] == '+') token.remove_prefix(1);
  if (token.empty()) return fail(std::string("expected ") + what);
  const auto [end, ec] = std::from_chars(token.data(), token.data() + token.size(), value);
  if (ec == std::errc::result_out_of_range) return fail(std::string(what) + " out of range");
  if (ec != std::errc() || end != token.data() + token.size()) {
    return fail(std::string("bad ") + what + " '" + std::string(token) + "'");
  }
  return true;
}

bool MqoReader::readCount(uint32_t& value, const char* what) {
  long long v = 0;
  if (!readInt(v, what)) return false;
  if (v < 0 || v > UINT32_MAX) return fail(std::string(what) + " out of range");
  value = static_cast<uint32_t>(v);
  return true;
}

bool MqoReader::readFloat(float& value, const char* what) {
  std::string_view token = numberToken();
  if (!token.empty() && token[0] == '+') token.remove_prefix(1);
  if (token.empty()) return fail(std::string("expected ") + what);
  const auto [end, ec] = std::from_chars(token.data(), token.data() + token.size(), value);
  if (ec == std::errc::result_out_of_range || (ec == std::errc() && !std::isfinite(value))) {
    return fail(std::string(what) + " out of range");
  }
  if (ec != std::errc() || end != token.data() + token.size()) {
    return fail(std::string("bad ") + what + " '" + std::string(token) + "'");
  }
  return true;
}

// Strings have no escapes: a Shift-JIS trail byte is never '"', so the next
// quote on the line ends the string whatever the encoding.
bool MqoReader::readString(std::string& value, const char* what) {
  skipSpace();
  if (peek() != '"') return fail(std::string("expected ") + what + " in quotes");
  const char* start = ++mPos;
  while (mPos < mEnd && *mPos != '"' && *mPos != '\n') ++mPos;
  if (peek() != '"') return fail(std::string("unterminated ") + what);
  value.assign(start, static_cast<size_t>(mPos - start));
  ++mPos;
  return true;
}

bool MqoReader::readPackName(std::string& value, const char* what) {
  std::string path, reason;
  if (!readString(path, what)) return false;
  if (!mqoPackName(path, mShiftJis, value, reason)) return fail(reason);
  return true;
}

// After '(': skips to the matching ')' on the same line.
bool MqoReader::skipParens() {
  int depth = 1;
  while (mPos < mEnd && *mPos != '\n') {
    const char c = *mPos++;
    if (c == '"') {
      while (mPos < mEnd && *mPos != '"' && *mPos != '\n') ++mPos;
      if (peek() != '"') return fail("unterminated string");
      ++mPos;
    } else if (c == '(') {
      ++depth;
    } else if (c == ')' && --depth == 0) {
      return true;
    }
  }
  return fail("missing ')'");
}

// Skips the rest of a statement: to the line end, or past the '}' that
// closes a chunk opened on it. Stops before a '}' that closes the enclosing
// chunk.
bool MqoReader::skipStatement(std::string_view name, int openLine) {
  int depth = 0;
  while (mPos < mEnd) {
    const char c = *mPos;
    if (c == '\n') {
      if (depth == 0) return true;
      ++mLine;
      ++mPos;
    } else if (c == '"') {
      ++mPos;
      while (mPos < mEnd && *mPos != '"' && *mPos != '\n') ++mPos;
      if (peek() == '"') ++mPos;
    } else if (c == '{') {
      ++depth;
      ++mPos;
    } else if (c == '}') {
      if (depth == 0) return true;
      ++mPos;
      if (--depth == 0) return true;
    } else if (c == '[' && mEnd - mPos > 1 && mPos[1] == '=') {
      // A binary block: its bytes start on the next line.
      mPos += 2;
      uint32_t bytes = 0;
      if (!readCount(bytes, "binary block size") || !expect(']', "after the binary block size")) return false;
      while (mPos < mEnd && *mPos != '\n') ++mPos;
      if (atEnd()) return failEnd(std::string(name), openLine);
      ++mPos;
      ++mLine;
      if (static_cast<size_t>(mEnd - mPos) < bytes) return failEnd(std::string(name), openLine);
      mPos += bytes;
    } else {
      ++mPos;
    }
  }
  if (depth > 0) return failEnd(std::string(name), openLine);
  return true;
}

// "N {" after a chunk name.
bool MqoReader::openChunk(uint32_t& count, const char* what) {
  return readCount(count, (std::string(what) + " count").c_str()) &&
         expect('{', (std::string("after the ") + what + " count").c_str());
}

bool MqoReader::nextEntry(const char* what, int openLine, size_t have, uint32_t count, bool& closed) {
  skipSpace();
  if (atEnd()) return failEnd(what, openLine);
  closed = peek() == '}';
  if (closed) ++mPos;
  if (have > count || (have == count && !closed)) {
    return fail(std::string(what) + " holds more entries than its count " + std::to_string(count));
  }
  if (closed && have < count) {
    return fail(std::string(what) + " holds " + std::to_string(have) + " entries, its count says " +
                std::to_string(count));
  }
  return true;
}

bool MqoReader::header() {
  if (word() != "Metasequoia" || word() != "Document") return fail("not a Metasequoia document");
  if (word() != "Format") return fail("expected 'Format Text Ver 1.x'");
  const std::string_view kind = word();
  if (kind != "Text") return fail("unsupported format '" + std::string(kind) + "'");
  if (word() != "Ver") return fail("expected 'Ver' and a version");
  const std::string_view version = numberToken();
  if (version != "1.0" && version != "1.1") return fail("unsupported format version '" + std::string(version) + "'");
  return true;
}

bool MqoReader::parse(MqoModel& model) {
  if (!header()) return false;
  bool haveMaterials = false;
  for (;;) {
    skipSpace();
    const int line = mLine;
    if (atEnd()) return fail("file ends without Eof");
    if (peek() == '}') return fail("unexpected '}'");
    const std::string_view name = word();
    if (name.empty()) return fail("expected a chunk name");
    if (name == "Eof") break;
    if (name == "Material") {
      if (haveMaterials) return fail("second Material chunk");
      haveMaterials = true;
      if (!materials(model)) return false;
    } else if (name == "Object") {
      if (!object(model, line)) return false;
    } else if (name == "CodePage") {
      mShiftJis = word() != "utf8";
      if (!skipStatement(name, line)) return false;
    } else if (!skipStatement(name, line)) {
      return false;
    }
  }
  if (model.materials.empty()) model.materials.push_back(defaultMaterial());
  if (mMaxMaterial >= static_cast<long long>(model.materials.size())) {
    return fail("material " + std::to_string(mMaxMaterial) + " out of range (" +
                    std::to_string(model.materials.size()) + " materials)",
                mMaxMaterialLine);
  }
  return true;
}

bool MqoReader::materials(MqoModel& model) {
  const int openLine = mLine;
  uint32_t count = 0;
  if (!openChunk(count, "material")) return false;
  for (bool closed = false;;) {
    if (!nextEntry("Material chunk", openLine, model.materials.size(), count, closed)) return false;
    if (closed) return true;
    MqoMaterial material = defaultMaterial();
    std::string name;  // not kept: the binary model has no material names
    if (!readString(name, "material name")) return false;
    for (;;) {
      skipSpace();
      if (atEnd() || peek() == '"' || peek() == '}') break;
      const std::string_view attribute = word();
      if (attribute.empty()) return fail("expected a material attribute");
      if (!expect('(', ("after " + std::string(attribute)).c_str())) return false;
      mInParens = true;
      const bool ok = materialAttribute(attribute, material);
      mInParens = false;
      if (!ok) return false;
    }
    model.materials.push_back(std::move(material));
  }
}

// After "name(": reads the arguments and the ')'.
bool MqoReader::materialAttribute(std::string_view name, MqoMaterial& m) {
  struct Factor {
    const char* name;
    float MqoMaterial::*field;
  };
  static const Factor kFactors[] = {{"dif", &MqoMaterial::dif},
                                    {"amb", &MqoMaterial::amb},
                                    {"emi", &MqoMaterial::emi},
                                    {"spc", &MqoMaterial::spc},
                                    {"power", &MqoMaterial::power}};
  for (const Factor& f : kFactors) {
    if (name == f.name) return readFloat(m.*f.field, f.name) && expect(')', "after the value");
  }
  if (name == "col") {
    for (int i = 0; i < 4; ++i) {
      if (!readFloat(m.col[i], "colour component")) return false;
    }
    return expect(')', "after four colour components");
  }
  if (name == "shader") {
    long long shader = 0;
    if (!readInt(shader, "shader") || !expect(')', "after the shader")) return false;
    if (shader < INT32_MIN || shader > INT32_MAX) return fail("shader out of range");
    m.shader = static_cast<int32_t>(shader);
    return true;
  }
  std::string* path = name == "tex"      ? &m.texturePath
                      : name == "tex2"   ? &m.secondTexturePath
                      : name == "effect" ? &m.effectPath
                                         : nullptr;
  if (path != nullptr) return readPackName(*path, "path") && expect(')', "after the path");
  if (mDroppedAttributes.insert(std::string(name)).second) {
    note(mLine, "warning: material attribute \"" + std::string(name) + "\" is not converted; left out");
  }
  return skipParens();
}

bool MqoReader::object(MqoModel& model, int openLine) {
  MqoObject object;
  if (!readString(object.name, "object name") || !expect('{', "after the object name")) return false;
  const std::string what = "Object \"" + object.name + "\"";
  long long mirror = 0;
  long long mirrorAxis = 1;
  long long visible = 15;
  bool haveVertices = false;
  for (;;) {
    skipSpace();
    const int line = mLine;
    if (atEnd()) return failEnd(what, openLine);
    if (peek() == '}') {
      ++mPos;
      break;
    }
    const std::string_view name = word();
    if (name.empty()) return fail("expected an attribute or chunk in " + what);
    long long value = 0;
    if (name == "depth") {
      if (!readInt(value, "depth")) return false;
      if (value < 0 || value > INT32_MAX) return fail("depth out of range");
      object.depth = static_cast<int32_t>(value);
    } else if (name == "facet") {
      if (!readFloat(object.facet, "facet")) return false;
    } else if (name == "visible") {
      if (!readInt(visible, "visible")) return false;
    } else if (name == "mirror") {
      if (!readInt(mirror, "mirror")) return false;
    } else if (name == "mirror_axis") {
      if (!readInt(mirrorAxis, "mirror_axis")) return false;
      if (mirrorAxis < 0 || mirrorAxis > 7) return fail("mirror_axis out of range");
    } else if (name == "vertex" || name == "BVertex") {
      if (haveVertices) return fail("second vertex chunk in " + what);
      haveVertices = true;
      if (!(name == "vertex" ? vertices(object) : binaryVertices(object))) return false;
    } else if (name == "face") {
      if (!faces(object)) return false;
    } else if (!skipStatement(name, line)) {
      return false;
    }
  }
  if (mirror != 0) {
    for (int axis = 0; axis < 3; ++axis) {
      if (mirrorAxis & (1 << axis)) mirrorObject(object, axis, mirror == 2);
    }
  }
  if (!object.name.empty() && object.name[0] == '>') {
    if (object.positions.empty()) return fail("point " + what + " has no vertex");
    const size_t key = std::min(object.name.find_first_not_of('>'), object.name.size());
    model.points[object.name.substr(key)] = object.positions[0];
    return true;
  }
  if (visible == 0 && !mOptions.keepHidden) {
    note(0, "object \"" + object.name + "\" is hidden (visible 0): left out");
    return true;
  }
  object.vertexCount = static_cast<uint32_t>(object.positions.size());
  object.faceCount = static_cast<uint32_t>(object.faces.size());
  model.objects.push_back(std::move(object));
  return true;
}

bool MqoReader::vertices(MqoObject& object) {
  const int openLine = mLine;
  uint32_t count = 0;
  if (!openChunk(count, "vertex")) return false;
  // A vertex takes at least six bytes ("0 0 0\n"): never reserve beyond that.
  object.positions.reserve(std::min<size_t>(count, static_cast<size_t>(mEnd - mPos) / 6));
  for (bool closed = false;;) {
    if (!nextEntry("vertex chunk", openLine, object.positions.size(), count, closed)) return false;
    if (closed) return true;
    glm::vec3 p;
    if (!readFloat(p.x, "coordinate") || !readFloat(p.y, "coordinate") || !readFloat(p.z, "coordinate")) {
      return false;
    }
    object.positions.push_back(p);
  }
}

// "BVertex N { Vector N [=12N]" then N little-endian (x, y, z) singles.
bool MqoReader::binaryVertices(MqoObject& object) {
  const int openLine = mLine;
  uint32_t count = 0, vectors = 0, bytes = 0;
  if (!openChunk(count, "vertex")) return false;
  if (word() != "Vector") return fail("expected 'Vector' in BVertex");
  if (!readCount(vectors, "vector count")) return false;
  if (vectors != count) return fail("Vector count differs from the BVertex count");
  if (!expect('[', "before the data size") || !expect('=', "before the data size") || !readCount(bytes, "data size") ||
      !expect(']', "after the data size")) {
    return false;
  }
  if (bytes != uint64_t{count} * 12) return fail("data size is not 12 bytes per vertex");
  while (mPos < mEnd && (*mPos == ' ' || *mPos == '\t' || *mPos == '\r')) ++mPos;
  if (peek() != '\n') return fail("expected the vertex data on the next line");
  ++mPos;
  ++mLine;
  if (static_cast<size_t>(mEnd - mPos) < bytes) return failEnd("BVertex", openLine);
  object.positions.resize(count);
  for (uint32_t i = 0; i < count; ++i) {
    for (int axis = 0; axis < 3; ++axis) {
      const auto* b = reinterpret_cast<const uint8_t*>(mPos);
      const uint32_t bits = b[0] | uint32_t{b[1]} << 8 | uint32_t{b[2]} << 16 | uint32_t{b[3]} << 24;
      float value;
      std::memcpy(&value, &bits, sizeof value);
      if (!std::isfinite(value)) return fail("coordinate out of range in BVertex");
      object.positions[i][axis] = value;
      mPos += 4;
    }
  }
  for (;;) {
    skipSpace();
    const int line = mLine;
    if (atEnd()) return failEnd("BVertex", openLine);
    if (peek() == '}') {
      ++mPos;
      return true;
    }
    const std::string_view name = word();
    if (name.empty()) return fail("expected a chunk in BVertex");
    if (!skipStatement(name, line)) return false;
  }
}

bool MqoReader::faces(MqoObject& object) {
  const int openLine = mLine;
  uint32_t count = 0, seen = 0;
  if (!openChunk(count, "face")) return false;
  for (bool closed = false;;) {
    if (!nextEntry("face chunk", openLine, seen, count, closed)) return false;
    if (closed) return true;
    long long corners = 0;
    if (!readInt(corners, "corner count")) return false;
    if (corners < 1) return fail("face with " + std::to_string(corners) + " corners");
    if (!face(object, corners)) return false;
    ++seen;
  }
}

// After a face's corner count: its attributes up to the next face or '}'.
bool MqoReader::face(MqoObject& object, long long corners) {
  const int line = mLine;
  std::vector<long long>& indices = mScratchIndices;
  std::vector<float>& uv = mScratchUv;
  indices.clear();
  uv.clear();
  bool haveIndices = false;
  long long material = -1;
  for (;;) {
    skipSpace();
    if (atEnd() || peek() == '}' || isDigit(peek())) break;
    const std::string_view name = word();
    if (name.empty()) return fail("expected a face attribute");
    if (!expect('(', ("after " + std::string(name)).c_str())) return false;
    mInParens = true;
    bool ok = true;
    if (name == "V" || name == "UV") {
      const bool isUv = name == "UV";
      if (isUv) {
        uv.clear();
      } else {
        indices.clear();
      }
      for (;;) {
        skipSpace();
        if (peek() == ')' || atEnd() || peek() == '\n') break;
        if (isUv) {
          float value = 0.0f;
          ok = readFloat(value, "texture coordinate");
          uv.push_back(value);
        } else {
          long long value = 0;
          ok = readInt(value, "vertex index");
          indices.push_back(value);
        }
        if (!ok) break;
      }
      ok = ok && expect(')', isUv ? "after the texture coordinates" : "after the vertex indices");
      haveIndices = haveIndices || !isUv;
    } else if (name == "M") {
      ok = readInt(material, "material index") && expect(')', "after the material index");
    } else {
      ok = skipParens();
    }
    mInParens = false;
    if (!ok) return false;
  }
  // Reasons below are about the face's own line.
  if (!haveIndices) return fail("face without V()", line);
  if (static_cast<long long>(indices.size()) != corners) {
    return fail("V() holds " + std::to_string(indices.size()) + " indices for " + std::to_string(corners) + " corners",
                line);
  }
  if (!uv.empty() && static_cast<long long>(uv.size()) != 2 * corners) {
    return fail("UV() holds " + std::to_string(uv.size()) + " values for " + std::to_string(corners) + " corners",
                line);
  }
  for (long long index : indices) {
    if (index < 0 || index >= static_cast<long long>(object.positions.size())) {
      return fail("vertex index " + std::to_string(index) + " out of range (" +
                      std::to_string(object.positions.size()) + " vertices)",
                  line);
    }
  }
  if (material < -1) return fail("material index " + std::to_string(material) + " out of range", line);
  if (material == -1) material = 0;
  if (material > mMaxMaterial) {
    mMaxMaterial = material;
    mMaxMaterialLine = line;
  }
  if (corners < 3) return true;
  uv.resize(2 * static_cast<size_t>(corners), 0.0f);
  // Clockwise as written, counter-clockwise for the player: reverse the
  // corners, each index with its UV pair.
  std::reverse(indices.begin(), indices.end());
  for (size_t a = 0, b = uv.size() - 2; a < b; a += 2, b -= 2) {
    std::swap(uv[a], uv[b]);
    std::swap(uv[a + 1], uv[b + 1]);
  }
  // Fan from corner 0: (0, k, k + 1).
  for (long long k = 1; k + 1 < corners; ++k) {
    MqoFace f;
    f.cornerCount = 3;
    f.material = static_cast<uint32_t>(material);
    const long long corner[3] = {0, k, k + 1};
    for (int c = 0; c < 3; ++c) {
      f.index[c] = static_cast<uint32_t>(indices[corner[c]]);
      f.uv[c][0] = uv[2 * corner[c]];
      f.uv[c][1] = uv[2 * corner[c] + 1];
    }
    object.faces.push_back(f);
  }
  return true;
}

}  // namespace

bool mqoPackName(std::string_view path, bool shiftJis, std::string& out, std::string& reason) {
  out.clear();
  if (path.empty()) return true;
  const std::string quoted = "'" + std::string(path) + "'";
  if (path[0] == '/' || path[0] == '\\' || (path.size() > 1 && path[1] == ':')) {
    reason = "absolute path " + quoted + " is no pack name";
    return false;
  }
  std::string component;
  auto flush = [&]() {
    if (component == "..") return false;
    if (!component.empty() && component != ".") {
      if (!out.empty()) out += '\\';
      out += component;
    }
    component.clear();
    return true;
  };
  for (size_t i = 0; i < path.size(); ++i) {
    const char c = path[i];
    if (c == '/' || c == '\\') {
      if (!flush()) break;
      continue;
    }
    component += c;
    if (shiftJis && isShiftJisLead(static_cast<uint8_t>(c)) && i + 1 < path.size()) component += path[++i];
  }
  if (component == ".." || !flush()) {
    reason = "path " + quoted + " leaves the pack";
    out.clear();
    return false;
  }
  return true;
}

bool parseMqoText(const char* text, size_t size, MqoModel& out, std::string& error, int& errorLine,
                  const MqoReadOptions& options, std::vector<MqoNote>* notes) {
  MqoReader reader(text, size, options, notes);
  if (reader.parse(out)) return true;
  out = MqoModel();
  error = reader.error();
  errorLine = reader.errorLine();
  return false;
}

bool convertMqoText(const char* text, size_t size, std::vector<uint8_t>& out, std::string& error, int& errorLine,
                    const MqoReadOptions& options, std::vector<MqoNote>* notes) {
  out.clear();
  MqoModel model;
  if (!parseMqoText(text, size, model, error, errorLine, options, notes)) return false;
  std::vector<uint8_t> bytes = writeBinaryModel(model);
  MqoModel check;
  if (!parseBinaryModel(bytes.data(), bytes.size(), check, error)) {
    error = "the binary model does not read back: " + error;
    errorLine = 0;
    return false;
  }
  out = std::move(bytes);
  return true;
}

bool deriveBinaryModel(const std::string& path, const std::vector<char>& text, std::vector<uint8_t>& out,
                       FileProblem& problem) {
  std::vector<MqoNote> notes;
  const bool ok = convertMqoText(text.data(), text.size(), out, problem.reason, problem.line, {}, &notes);
  for (const MqoNote& note : notes) {
    std::fprintf(stderr, "%s\n", FileProblem{path, note.line, note.text}.text().c_str());
  }
  return ok;
}
