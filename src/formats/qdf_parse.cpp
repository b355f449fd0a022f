// The scene animation file reader: keyword-driven, one pass over the token
// stream, skipping what it does not recognise and noting each problem with
// its line. Numbers are read like atol
// and atof but without the C locale's say (a decimal comma locale must not
// change a file's values).
#include <algorithm>
#include <charconv>
#include <cstdint>
#include <initializer_list>
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

bool isAnyOf(std::string_view token, std::initializer_list<std::string_view> words) {
  return std::find(words.begin(), words.end(), token) != words.end();
}

// The keywords of each block. A keyword of an enclosing block met inside an
// inner one ends the inner block: its "}" is missing.
const std::initializer_list<std::string_view> kTopWords = {"MQO", "Scene", "Eof"};
const std::initializer_list<std::string_view> kSceneWords = {"Object"};
const std::initializer_list<std::string_view> kObjectWords = {"CameraTrans", "Visible", "DataNum", "Time", "Part"};
const std::initializer_list<std::string_view> kPartWords = {"Position", "Rotation", "Scale", "Alpha"};

bool isKeyword(std::string_view token) {
  return isAnyOf(token, kTopWords) || isAnyOf(token, kSceneWords) || isAnyOf(token, kObjectWords) ||
         isAnyOf(token, kPartWords);
}

// Whether a word reads as a number rather than as a keyword or a brace.
bool looksNumeric(std::string_view token) {
  return !token.empty() && (isDigit(token[0]) || token[0] == '+' || token[0] == '-' || token[0] == '.');
}

std::string lowerCase(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  return out;
}

// "; did you mean "Position"?" for a word one or two edits from a keyword
// of its block (two only for words of five letters or more), ignoring
// letter case.
std::string nearMissHint(std::string_view word, std::initializer_list<std::string_view> keywords) {
  const std::string folded = lowerCase(word);
  for (std::string_view keyword : keywords) {
    const size_t distance = editDistance(folded, lowerCase(keyword));
    if (distance <= 1 || (distance == 2 && keyword.size() >= 5)) {
      return "; did you mean \"" + std::string(keyword) + "\"?";
    }
  }
  return "";
}

std::string plural(size_t n, const char* word) { return std::to_string(n) + " " + word + (n == 1 ? "" : "s"); }

class QdfParser {
 public:
  QdfParser(const char* text, size_t size, QdfData& data, const QdfModelLoader& loadModel,
            const QdfProgress& progress, std::vector<QdfProblem>* problems)
      : mTokens(text, size),
        mLineCursor(text),
        mData(data),
        mLoadModel(loadModel),
        mProgress(progress),
        mProblems(problems),
        mKeyBudget(mTokens.remaining() / 2) {}

  void run() {
    // Before the first block every word is header text; after it, a run of
    // unknown words is reported once.
    bool inBlocks = false;
    bool strayReported = false;
    advance();
    while (mMore && mToken != "Eof") {
      if (mToken == "MQO" || mToken == "Scene") {
        if (mToken == "MQO") {
          parseModels();
        } else {
          parseScene();
        }
        inBlocks = true;
        strayReported = false;
        continue;
      }
      if (inBlocks && !strayReported) {
        if (mToken == "}") {
          problem(line(), "\"}\" closes no block");
        } else {
          problem(line(), "unknown keyword \"" + std::string(mToken) + "\" between blocks, skipped" +
                              nearMissHint(mToken, kTopWords));
        }
        strayReported = true;
      }
      advance();
    }
  }

 private:
  // A block being read: what it is called in problems and the line of the
  // keyword that opened it.
  struct Block {
    std::string label;
    int line;
  };

  // Reads the next token; an exhausted text leaves an empty one.
  bool advance() {
    mMore = mTokens.next(mToken);
    return mMore;
  }
  // The token after the current one, not consumed.
  std::string_view peek() const {
    SceneTokenReader ahead = mTokens;
    std::string_view token;
    ahead.next(token);
    return token;
  }
  int64_t nextInteger() {
    advance();
    return readInteger(mToken);
  }

  // The line of the current token (tokens are views into the text). The
  // cursor moves both ways, so peeking back costs only the distance.
  int line() {
    const char* p = mToken.data();
    if (p == nullptr) return mLine;
    for (; mLineCursor < p; ++mLineCursor) mLine += *mLineCursor == '\n';
    for (; mLineCursor > p; --mLineCursor) mLine -= mLineCursor[-1] == '\n';
    return mLine;
  }

  void problem(int at, std::string reason) {
    if (mProblems) mProblems->push_back({at, std::move(reason)});
  }

  // Opens a block whose keyword (and name) were just read: the next token
  // must be "{". Without it the block's contents are read all the same.
  Block open(std::string label, int at) {
    if (peek() == "{") {
      advance();
    } else {
      problem(at, label + ": \"{\" missing");
    }
    return {std::move(label), at};
  }
  // Expects the current token to be the block's "}" and reads past it.
  void close(const Block& block) {
    if (mMore && mToken == "}") {
      advance();
    } else {
      problem(block.line, block.label + ": block not closed (\"}\" missing)");
    }
  }

  // The current token is not a keyword of the block `where`: reported, and
  // skipped with the number or block that follows it.
  void skipUnknown(const char* where, std::initializer_list<std::string_view> keywords) {
    if (isKeyword(mToken)) {
      problem(line(), "keyword \"" + std::string(mToken) + "\" does not belong in " + where + ", skipped");
    } else {
      problem(line(), "unknown keyword \"" + std::string(mToken) + "\" in " + where + ", skipped" +
                          nearMissHint(mToken, keywords));
    }
    const std::string_view next = peek();
    if (next == "{") {
      mTokens.skipBlock();
    } else if (looksNumeric(next)) {
      advance();
    }
    advance();
  }

  void parseModels() {
    const Block block = open("MQO", line());
    advance();
    while (mMore && mToken != "}" && !isAnyOf(mToken, kTopWords)) {
      if (mToken.find('#') != std::string_view::npos) {
        // A commented line: "#3 name" or "# 3 name". The entry after it is
        // the next digit-led token, unless another commented line comes first.
        if (mToken == "#") {
          advance();
          advance();
        }
        do {
          advance();
        } while (mMore && mToken != "}" && (mToken.empty() || !isDigit(mToken[0])) &&
                 mToken.find('#') == std::string_view::npos && !isAnyOf(mToken, kTopWords));
        continue;
      }
      const int at = line();
      const int64_t slot = readInteger(mToken);
      advance();
      const std::string name = quotedName(mToken);
      if (inSlotRange(slot)) {
        resMQO*& model = mData.models[slot];
        resMQO* previous = std::exchange(model, mLoadModel ? mLoadModel(mData.modelDirectory + name) : nullptr);
        resourceManager::instance().release(previous);
        mModelNames[slot] = resourceEntryName((mData.modelDirectory + name).c_str());
        if (mProgress) mProgress();
      } else {
        problem(at, "model slot " + std::to_string(slot) + " outside 0-255, \"" + name + "\" skipped");
      }
      advance();
    }
    close(block);
  }

  void parseScene() {
    const int at = line();
    QdfScene scene;
    if (advance()) scene.name = quotedName(mToken);
    const Block block = open("Scene \"" + scene.name + "\"", at);
    advance();
    while (mMore && mToken != "}" && !isAnyOf(mToken, kTopWords)) {
      if (mToken == "Object") {
        parseObject(scene.objects.emplace_back());
      } else {
        skipUnknown("a Scene block", kSceneWords);
      }
    }
    mData.scenes.push_back(std::move(scene));
    close(block);
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
  int64_t acceptKeyCount(int64_t n, int at) {
    if (n < 0) {
      problem(at, "DataNum " + std::to_string(n) + " negative, the object's keys are skipped");
      return -1;
    }
    if (static_cast<uint64_t>(n) > mTokens.remaining() / 2 || static_cast<uint64_t>(n) > mKeyBudget) {
      problem(at, "DataNum " + std::to_string(n) + " larger than the text can hold, the object's keys are skipped");
      return -1;
    }
    mKeyBudget -= static_cast<uint64_t>(n);
    return n;
  }

  // The object being read: its key count and where it was given.
  struct Keys {
    int64_t count = -1;  // -1: no usable count, the object's blocks are skipped whole
    int line = 0;
  };

  void parseObject(QdfObject& object) {
    const int at = line();
    const int64_t slot = nextInteger();
    object.slot = toInt32(slot);
    if (inSlotRange(slot)) {
      object.model = mData.models[slot];
    } else if (slot != -1) {
      problem(at, "object slot " + std::to_string(slot) + " outside 0-255, read without a model");
    }
    const Block block = open("Object " + std::to_string(slot), at);
    advance();
    Keys keys;
    while (mMore && mToken != "}" && !isAnyOf(mToken, kTopWords) && !isAnyOf(mToken, kSceneWords)) {
      if (mToken == "CameraTrans") {
        object.cameraTrans = toInt32(nextInteger());
        advance();
      } else if (mToken == "Visible") {
        object.visible = toInt32(nextInteger());
        advance();
      } else if (mToken == "DataNum") {
        keys.line = line();
        keys.count = acceptKeyCount(nextInteger(), keys.line);
        advance();
        // A later count replaces an earlier one, with the keys read under it.
        object.parts.clear();
        object.times.clear();
        if (keys.count >= 0) createParts(object, static_cast<size_t>(keys.count));
      } else if (mToken == "Time") {
        if (keys.count < 0) {
          mTokens.skipBlock();
          advance();
        } else {
          object.times = readValues("Time", "Time", keys, 1);
        }
      } else if (mToken == "Part") {
        parsePart(object, keys);
      } else {
        skipUnknown("an Object block", kObjectWords);
      }
    }
    close(block);
  }

  // The name of the model in the object's slot, as the engine loads it.
  std::string modelName(const QdfObject& object) const {
    return inSlotRange(object.slot) ? mModelNames[object.slot] : std::string();
  }

  void parsePart(QdfObject& object, const Keys& keys) {
    const int at = line();
    advance();
    const std::string name = quotedName(mToken);
    const auto part = object.parts.find(name);
    if (object.parts.empty() || part == object.parts.end()) {
      if (object.slot == -1 && !object.parts.empty()) {
        problem(at, "part \"" + name + "\" is not a camera part (camera_pos, camera_lookat), skipped");
      } else if (!object.parts.empty()) {
        problem(at, "part \"" + name + "\" names no object of model " + modelName(object) + " (object slot " +
                        std::to_string(object.slot) + "), skipped");
      }
      mTokens.skipBlock();
      advance();
      return;
    }
    std::vector<QdfKey>& partKeys = part->second;
    const Block block = open("Part \"" + name + "\"", at);
    advance();
    const auto triples = [&](glm::vec3 QdfKey::*member) {
      const std::string keyword(mToken);
      const std::vector<float> v = readValues(keyword, keyword + " of part \"" + name + "\"", keys, 3);
      for (size_t i = 0; 3 * i + 2 < v.size(); ++i) {
        partKeys[i].*member = glm::vec3(v[3 * i], v[3 * i + 1], v[3 * i + 2]);
      }
    };
    while (mMore && mToken != "}" && !isAnyOf(mToken, kTopWords) && !isAnyOf(mToken, kSceneWords) &&
           !isAnyOf(mToken, kObjectWords)) {
      if (mToken == "Position") {
        triples(&QdfKey::position);
      } else if (mToken == "Rotation") {
        triples(&QdfKey::rotation);
      } else if (mToken == "Scale") {
        triples(&QdfKey::scale);
      } else if (mToken == "Alpha") {
        const std::vector<float> v = readValues("Alpha", "Alpha of part \"" + name + "\"", keys, 1);
        for (size_t i = 0; i < v.size(); ++i) partKeys[i].alpha = v[i];
      } else {
        skipUnknown("a Part block", kPartWords);
      }
    }
    close(block);
  }

  // Reads the block of the list keyword just read: at most count * width
  // values (unparsable ones as 0). A list ends at its "}" or at a keyword; a
  // length other than the count is reported on the DataNum line.
  std::vector<float> readValues(const std::string& label, const std::string& what, const Keys& keys, size_t width) {
    const Block block = open(label, line());
    const size_t wanted = static_cast<size_t>(keys.count) * width;
    std::vector<float> values;
    values.reserve(wanted);
    bool ended = false;  // at the "}" or at a keyword, before the count was reached
    while (values.size() < wanted) {
      advance();
      if (!mMore || mToken == "}" || isKeyword(mToken)) {
        ended = true;
        break;
      }
      values.push_back(readReal(mToken));
    }
    size_t extra = 0;
    if (!ended) {
      advance();
      for (; mMore && looksNumeric(mToken); advance()) ++extra;
    }
    if (values.size() + extra != wanted) {
      const size_t found = values.size() + extra;
      std::string reason = "DataNum " + std::to_string(keys.count) + ", " + plural(found / width, "key");
      if (found % width != 0) reason += " and " + plural(found % width, "value") + " more";
      problem(keys.line, reason + " in " + what);
    }
    close(block);
    return values;
  }

  SceneTokenReader mTokens;
  std::string_view mToken;
  bool mMore = true;
  const char* mLineCursor;  // mLine counts the line breaks before it
  int mLine = 1;
  QdfData& mData;
  const QdfModelLoader& mLoadModel;
  const QdfProgress& mProgress;
  std::vector<QdfProblem>* mProblems;
  uint64_t mKeyBudget;  // keys the rest of the file may still declare
  std::string mModelNames[kQdfModelSlots];  // entry names of the model lines, for problems
};

}  // namespace

void parseQdfText(const char* text, size_t size, QdfData& data, const QdfModelLoader& loadModel,
                  const QdfProgress& progress, std::vector<QdfProblem>* problems) {
  QdfParser(text, size, data, loadModel, progress, problems).run();
}

int countQdfModels(const char* text, size_t size) { return countSceneModels(text, size); }

void releaseQdfModels(QdfData& data) {
  for (resMQO*& model : data.models) resourceManager::instance().release(std::exchange(model, nullptr));
}
