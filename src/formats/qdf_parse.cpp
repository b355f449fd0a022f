// The scene animation file reader: keyword-driven, one pass over the token
// stream, skipping what it does not recognise. Numbers are read like atol
// and atof but without the C locale's say (a decimal comma locale must not
// change a file's values).
#include <algorithm>
#include <charconv>
#include <cstdint>
#include <limits>
#include <string_view>
#include <utility>

#include "formats/formats.h"
#include "model/model.h"

namespace {

constexpr int64_t kInt64Max = std::numeric_limits<int64_t>::max();

bool isDigit(char c) { return c >= '0' && c <= '9'; }

bool isHexDigit(char c) { return isDigit(c) || ((c | 0x20) >= 'a' && (c | 0x20) <= 'f'); }

// Optional sign, then decimal digits up to the first other character;
// saturates instead of overflowing. No digits: 0.
int64_t readInteger(std::string_view s) {
  size_t i = 0;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  int64_t value = 0;
  for (; i < s.size() && isDigit(s[i]); ++i) {
    const int digit = s[i] - '0';
    value = value > (kInt64Max - digit) / 10 ? kInt64Max : value * 10 + digit;
  }
  return negative ? -value : value;
}

int32_t toInt32(int64_t value) {
  return static_cast<int32_t>(std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(),
                                                  std::numeric_limits<int32_t>::max()));
}

// For a number too large or too small for a double: whether it is too large.
// Decides by the power of the leading significant digit, which for such
// numbers is far from 0 in one direction.
bool overflows(const char* p, const char* end, bool hex) {
  const auto digit = [hex](char c) { return hex ? isHexDigit(c) : isDigit(c); };
  while (p != end && *p == '0') ++p;
  int64_t power = 0;
  if (p != end && digit(*p)) {
    while (p != end && digit(*p)) ++p, ++power;
    if (p != end && *p == '.') ++p;
  } else if (p != end && *p == '.') {
    for (++p; p != end && *p == '0'; ++p) --power;
  }
  while (p != end && digit(*p)) ++p;
  if (p != end && (*p | 0x20) == (hex ? 'p' : 'e')) {
    const int64_t exponent = readInteger(std::string_view(p + 1, static_cast<size_t>(end - p - 1)));
    // |power| is at most the token's length, so the clamped sum cannot overflow.
    power += std::clamp(exponent, -kInt64Max / 2, kInt64Max / 2);
  }
  return power > 0;
}

// Like strtod in the C locale (decimal, exponent, hexadecimal "0x" form,
// inf, nan, optional sign), then narrowed to a float. Nothing parsable: 0.
float readReal(std::string_view s) {
  const char* p = s.data();
  const char* end = p + s.size();
  bool negative = false;
  if (p != end && (*p == '+' || *p == '-')) negative = *p++ == '-';
  if (p != end && (*p == '+' || *p == '-')) return 0.0f;  // from_chars would take a second sign
  double value = 0.0;
  bool hex = false;
  if (end - p > 2 && p[0] == '0' && (p[1] | 0x20) == 'x' && (isHexDigit(p[2]) || p[2] == '.')) {
    hex = true;
    p += 2;
  }
  const std::from_chars_result r =
      std::from_chars(p, end, value, hex ? std::chars_format::hex : std::chars_format::general);
  if (r.ec == std::errc::result_out_of_range) {
    value = overflows(p, end, hex) ? std::numeric_limits<double>::infinity() : 0.0;
  } else if (r.ec != std::errc()) {
    value = 0.0;
  }
  return static_cast<float>(negative ? -value : value);
}

// A quoted name: the first character (the opening quote) and every trailing
// double quote dropped.
std::string quotedName(std::string_view token) {
  if (!token.empty()) token.remove_prefix(1);
  while (!token.empty() && token.back() == '"') token.remove_suffix(1);
  return std::string(token);
}

bool inSlotRange(int64_t slot) { return slot >= 0 && slot < kQdfModelSlots; }

class QdfParser {
 public:
  QdfParser(const char* text, size_t size, QdfData& data, const QdfModelLoader& loadModel,
            const QdfProgress& progress, std::vector<std::string>* log)
      : mTokens(text, size),
        mData(data),
        mLoadModel(loadModel),
        mProgress(progress),
        mLog(log),
        mKeyBudget(mTokens.remaining() / 2) {}

  void run() {
    while (advance()) {
      if (mToken == "MQO") parseModels();
      if (mToken == "Scene") parseScene();
      if (mToken == "Eof") break;
    }
  }

 private:
  // Reads the next token; an exhausted text leaves an empty one.
  bool advance() {
    mMore = mTokens.next(mToken);
    return mMore;
  }
  void skipBrace() { advance(); }
  int64_t nextInteger() {
    advance();
    return readInteger(mToken);
  }
  float nextReal() {
    advance();
    return readReal(mToken);
  }
  glm::vec3 nextTriple() {
    const float x = nextReal();
    const float y = nextReal();
    return glm::vec3(x, y, nextReal());
  }
  void note(std::string line) {
    if (mLog) mLog->push_back(std::move(line));
  }

  void parseModels() {
    skipBrace();
    advance();
    while (mMore && mToken != "}") {
      // A commented line: "#3 name" or "# 3 name". The entry after it is the
      // next digit-led token, unless another commented line comes first.
      while (mMore && mToken.find('#') != std::string_view::npos) {
        if (mToken == "#") {
          advance();
          advance();
        }
        do {
          advance();
        } while (mMore && mToken != "}" && (mToken.empty() || !isDigit(mToken[0])) &&
                 mToken.find('#') == std::string_view::npos);
      }
      if (!mMore || mToken == "}") break;
      const int64_t slot = readInteger(mToken);
      advance();
      const std::string name = quotedName(mToken);
      if (inSlotRange(slot)) {
        resMQO*& model = mData.models[slot];
        resMQO* previous = std::exchange(model, mLoadModel ? mLoadModel(mData.modelDirectory + name) : nullptr);
        resourceManager::instance().release(previous);
        if (mProgress) mProgress();
      } else {
        note("model slot " + std::to_string(slot) + " outside 0-255, \"" + name + "\" skipped");
      }
      advance();
    }
  }

  void parseScene() {
    QdfScene scene;
    if (advance()) scene.name = quotedName(mToken);
    skipBrace();
    advance();
    while (mToken == "Object") parseObject(scene.objects.emplace_back());
    mData.scenes.push_back(std::move(scene));
  }

  // Creates the parts with `n` default keys each: the camera's two, or one
  // per object of the model.
  static void createParts(QdfObject& object, size_t n) {
    if (object.slot == -1) {
      for (const char* part : {"camera_pos", "camera_lookat"}) object.parts[part].assign(n, QdfKey{});
    } else if (object.model != nullptr && object.model->model() != nullptr) {
      for (const MqoObject& part : object.model->model()->objects) object.parts[part.name].assign(n, QdfKey{});
    }
  }

  // The key count after "DataNum", or -1 when it is rejected: negative, or
  // more keys than the rest of the text (and the file as a whole, at two
  // bytes per written time) could hold.
  int64_t acceptKeyCount(int64_t n) {
    if (n < 0) {
      note("DataNum " + std::to_string(n) + " negative, the object's keys are skipped");
      return -1;
    }
    if (static_cast<uint64_t>(n) > mTokens.remaining() / 2 || static_cast<uint64_t>(n) > mKeyBudget) {
      note("DataNum " + std::to_string(n) + " larger than the text can hold, the object's keys are skipped");
      return -1;
    }
    mKeyBudget -= static_cast<uint64_t>(n);
    return n;
  }

  void parseObject(QdfObject& object) {
    const int64_t slot = nextInteger();
    object.slot = toInt32(slot);
    if (inSlotRange(slot)) {
      object.model = mData.models[slot];
    } else if (slot != -1) {
      note("object slot " + std::to_string(slot) + " outside 0-255, read without a model");
    }
    skipBrace();
    advance();
    if (mToken == "CameraTrans") {
      object.cameraTrans = toInt32(nextInteger());
      advance();
    }
    if (mToken == "Visible") {
      object.visible = toInt32(nextInteger());
      advance();
    }
    int64_t n = -1;  // no usable key count: the object's blocks are skipped whole
    if (mToken == "DataNum") {
      n = acceptKeyCount(nextInteger());
      advance();
      if (n >= 0) createParts(object, static_cast<size_t>(n));
    }
    if (mToken == "Time") {
      if (n < 0) {
        mTokens.skipBlock();
      } else {
        skipBrace();
        object.times.reserve(static_cast<size_t>(n));
        for (int64_t i = 0; i < n; ++i) object.times.push_back(nextReal());
        skipBrace();
      }
      advance();
    }
    const bool hasPartBlocks = mToken == "Part";
    while (mToken == "Part") {
      advance();
      const std::string name = quotedName(mToken);
      const auto part = object.parts.find(name);
      if (object.parts.empty()) {
        mTokens.skipBlock();
      } else if (part == object.parts.end()) {
        note("part \"" + name + "\" is not a part of the object, skipped");
        mTokens.skipBlock();
      } else {
        parseKeys(part->second);
      }
      advance();  // past the part's closing brace
      if (mToken == "}") advance();  // past the object's
    }
    // Without part blocks the current token is the object's closing brace.
    if (!hasPartBlocks && mToken == "}") advance();
  }

  void parseKeys(std::vector<QdfKey>& keys) {
    skipBrace();
    advance();
    const auto triples = [&](const char* word, glm::vec3 QdfKey::*member) {
      if (mToken != word) return;
      skipBrace();
      for (QdfKey& key : keys) key.*member = nextTriple();
      skipBrace();
      advance();
    };
    triples("Position", &QdfKey::position);
    triples("Rotation", &QdfKey::rotation);
    triples("Scale", &QdfKey::scale);
    if (mToken == "Alpha") {
      skipBrace();
      for (QdfKey& key : keys) key.alpha = nextReal();
      skipBrace();
      advance();
    }
  }

  SceneTokenReader mTokens;
  std::string_view mToken;
  bool mMore = true;
  QdfData& mData;
  const QdfModelLoader& mLoadModel;
  const QdfProgress& mProgress;
  std::vector<std::string>* mLog;
  uint64_t mKeyBudget;  // keys the rest of the file may still declare
};

}  // namespace

void parseQdfText(const char* text, size_t size, QdfData& data, const QdfModelLoader& loadModel,
                  const QdfProgress& progress, std::vector<std::string>* log) {
  QdfParser(text, size, data, loadModel, progress, log).run();
}

int countQdfModels(const char* text, size_t size) { return countSceneModels(text, size); }

void releaseQdfModels(QdfData& data) {
  for (resMQO*& model : data.models) resourceManager::instance().release(std::exchange(model, nullptr));
}
