// Effect-file parser: tokenises the text, recognises parameters, structs,
// techniques and passes, and keeps every other top-level piece as GLSL code.
// Function and initialiser bodies are skipped by bracket matching, so the
// parser never needs to understand GLSL expressions.
#include <cctype>
#include <cstdlib>
#include <cstring>

#include "shader/effect_source.h"

namespace fx {

namespace {

enum class Tok : uint8_t { End, Ident, Number, String, Punct, Preproc };

struct Token {
  Tok kind = Tok::End;
  std::string_view text;
  size_t offset = 0;
  int line = 1;
};

// Nesting limit for brackets inside skipped bodies and values; deeper input
// is rejected rather than recursed into.
constexpr int kMaxDepth = 256;

std::vector<Token> tokenize(std::string_view s, ParseError& error) {
  std::vector<Token> out;
  size_t i = 0;
  int line = 1;
  bool lineStart = true;
  while (i < s.size()) {
    const char c = s[i];
    if (c == '\n') {
      ++line;
      ++i;
      lineStart = true;
      continue;
    }
    if (c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v') {
      ++i;
      continue;
    }
    if (c == '/' && i + 1 < s.size() && s[i + 1] == '/') {
      while (i < s.size() && s[i] != '\n') ++i;
      continue;
    }
    if (c == '/' && i + 1 < s.size() && s[i + 1] == '*') {
      const int startLine = line;
      i += 2;
      while (i + 1 < s.size() && !(s[i] == '*' && s[i + 1] == '/')) {
        if (s[i] == '\n') ++line;
        ++i;
      }
      if (i + 1 >= s.size()) {
        error = {startLine, "unterminated comment"};
        return {};
      }
      i += 2;
      continue;
    }
    Token t;
    t.offset = i;
    t.line = line;
    if (c == '#' && lineStart) {
      // A preprocessor line, continued by a trailing backslash.
      size_t j = i;
      while (j < s.size() && s[j] != '\n') {
        if (s[j] == '\\' && j + 1 < s.size() && s[j + 1] == '\n') {
          ++line;
          ++j;
        }
        ++j;
      }
      t.kind = Tok::Preproc;
      t.text = s.substr(i, j - i);
      out.push_back(t);
      i = j;
      continue;
    }
    lineStart = false;
    if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
      size_t j = i + 1;
      while (j < s.size() && (std::isalnum(static_cast<unsigned char>(s[j])) || s[j] == '_')) ++j;
      t.kind = Tok::Ident;
      t.text = s.substr(i, j - i);
      i = j;
    } else if (std::isdigit(static_cast<unsigned char>(c)) ||
               (c == '.' && i + 1 < s.size() && std::isdigit(static_cast<unsigned char>(s[i + 1])))) {
      size_t j = i + 1;
      while (j < s.size()) {
        const char d = s[j];
        if (std::isalnum(static_cast<unsigned char>(d)) || d == '.') {
          ++j;
        } else if ((d == '+' || d == '-') && (s[j - 1] == 'e' || s[j - 1] == 'E')) {
          ++j;
        } else {
          break;
        }
      }
      t.kind = Tok::Number;
      t.text = s.substr(i, j - i);
      i = j;
    } else if (c == '"') {
      size_t j = i + 1;
      while (j < s.size() && s[j] != '"' && s[j] != '\n') {
        if (s[j] == '\\' && j + 1 < s.size()) ++j;
        ++j;
      }
      if (j >= s.size() || s[j] != '"') {
        error = {line, "unterminated string"};
        return {};
      }
      t.kind = Tok::String;
      t.text = s.substr(i + 1, j - i - 1);
      i = j + 1;
    } else {
      t.kind = Tok::Punct;
      t.text = s.substr(i, 1);
      ++i;
    }
    out.push_back(t);
  }
  Token end;
  end.offset = s.size();
  end.line = line;
  out.push_back(end);
  return out;
}

bool equalsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
}

// Parses "N" or "NxM" suffixes of Cg numeric types (1..4).
bool dimensions(std::string_view rest, uint8_t& rows, uint8_t& cols) {
  auto digit = [](char c) { return c >= '1' && c <= '4'; };
  if (rest.empty()) {
    rows = cols = 1;
    return true;
  }
  if (rest.size() == 1 && digit(rest[0])) {
    rows = 1;
    cols = static_cast<uint8_t>(rest[0] - '0');
    return true;
  }
  // Matrices have GLSL twins only from 2x2 up.
  if (rest.size() == 3 && digit(rest[0]) && rest[0] != '1' && rest[1] == 'x' && digit(rest[2]) &&
      rest[2] != '1') {
    rows = static_cast<uint8_t>(rest[0] - '0');
    cols = static_cast<uint8_t>(rest[2] - '0');
    return true;
  }
  return false;
}

bool cgNumericType(std::string_view name, TypeInfo& out, bool& cgOnly) {
  static const struct {
    const char* prefix;
    BaseType base;
  } kBases[] = {{"float", BaseType::Float}, {"half", BaseType::Half}, {"fixed", BaseType::Fixed},
                {"int", BaseType::Int},     {"bool", BaseType::Bool}};
  for (const auto& b : kBases) {
    const size_t n = std::strlen(b.prefix);
    if (name.size() < n || name.substr(0, n) != b.prefix) continue;
    uint8_t rows = 1, cols = 1;
    if (!dimensions(name.substr(n), rows, cols)) return false;
    out = {b.base, rows, cols};
    // Plain "float", "int" and "bool" are GLSL too; everything else needs a
    // #define to become GLSL.
    cgOnly = name.size() != n || b.base == BaseType::Half || b.base == BaseType::Fixed;
    return true;
  }
  return false;
}

bool glslType(std::string_view name, TypeInfo& out) {
  auto n = [&](size_t at) { return static_cast<uint8_t>(name[at] - '0'); };
  auto inRange = [&](size_t at) { return at < name.size() && name[at] >= '2' && name[at] <= '4'; };
  if ((name.size() == 4 && name.substr(0, 3) == "vec" && inRange(3))) {
    out = {BaseType::Float, 1, n(3)};
    return true;
  }
  if (name.size() == 5 && (name[0] == 'i' || name[0] == 'b') && name.substr(1, 3) == "vec" && inRange(4)) {
    out = {name[0] == 'i' ? BaseType::Int : BaseType::Bool, 1, n(4)};
    return true;
  }
  if (name.size() == 4 && name.substr(0, 3) == "mat" && inRange(3)) {
    out = {BaseType::Float, n(3), n(3)};
    return true;
  }
  // GLSL matCxR has C columns and R rows.
  if (name.size() == 6 && name.substr(0, 3) == "mat" && inRange(3) && name[4] == 'x' && inRange(5)) {
    out = {BaseType::Float, n(5), n(3)};
    return true;
  }
  return false;
}

const struct {
  const char* name;
  BaseType base;
  bool cgOnly;
} kSamplers[] = {{"sampler1D", BaseType::Sampler1D, false},   {"sampler2D", BaseType::Sampler2D, false},
                 {"sampler3D", BaseType::Sampler3D, false},   {"samplerCUBE", BaseType::SamplerCube, true},
                 {"samplerCube", BaseType::SamplerCube, false}, {"samplerRECT", BaseType::SamplerRect, true},
                 {"sampler2DRect", BaseType::SamplerRect, false}};

bool lookupType(std::string_view name, TypeInfo& out, bool& cgOnly) {
  cgOnly = false;
  if (cgNumericType(name, out, cgOnly)) return true;
  if (glslType(name, out)) return true;
  for (const auto& s : kSamplers) {
    if (name == s.name) {
      out = {s.base, 1, 1};
      cgOnly = s.cgOnly;
      return true;
    }
  }
  if (name == "string") {
    out = {BaseType::String, 1, 1};
    return true;
  }
  return false;
}

class Parser {
 public:
  Parser(std::string_view text, EffectSource& out, ParseError& error)
      : mText(text), mOut(out), mError(error) {}

  bool run() {
    mToks = tokenize(mText, mError);
    if (mToks.empty()) return false;
    collectCgTypes();
    while (peek().kind != Tok::End) {
      if (!topLevel()) return false;
    }
    return true;
  }

 private:
  const Token& peek(size_t ahead = 0) const {
    const size_t i = mPos + ahead;
    return i < mToks.size() ? mToks[i] : mToks.back();
  }
  const Token& next() {
    const Token& t = peek();
    if (mPos < mToks.size() - 1) ++mPos;
    return t;
  }
  bool isPunct(char c, size_t ahead = 0) const {
    const Token& t = peek(ahead);
    return t.kind == Tok::Punct && t.text[0] == c;
  }
  bool isIdent(std::string_view word, size_t ahead = 0) const {
    const Token& t = peek(ahead);
    return t.kind == Tok::Ident && t.text == word;
  }
  bool fail(const std::string& message) {
    mError = {peek().line, message};
    return false;
  }
  bool expect(char c) {
    if (!isPunct(c)) return fail(std::string("expected '") + c + "'");
    next();
    return true;
  }
  bool expectIdent(std::string& out, const char* what) {
    if (peek().kind != Tok::Ident) return fail(std::string("expected ") + what);
    out = std::string(next().text);
    return true;
  }

  void collectCgTypes() {
    for (const Token& t : mToks) {
      if (t.kind != Tok::Ident) continue;
      TypeInfo type;
      bool cgOnly = false;
      if (!lookupType(t.text, type, cgOnly) || !cgOnly) continue;
      bool seen = false;
      for (const auto& n : mOut.cgTypeNames) seen = seen || n == t.text;
      if (!seen) mOut.cgTypeNames.emplace_back(t.text);
    }
  }

  bool knownType(std::string_view name) const {
    TypeInfo type;
    bool cgOnly = false;
    if (lookupType(name, type, cgOnly)) return true;
    for (const auto& s : mOut.structs) {
      if (s.name == name) return true;
    }
    return false;
  }

  // Skips a bracketed group starting at the current opening bracket.
  bool skipGroup(std::vector<std::string>* calls = nullptr) {
    int depth = 0;
    do {
      const Token& t = next();
      if (t.kind == Tok::End) return fail("unexpected end of file inside brackets");
      if (t.kind == Tok::Punct) {
        const char c = t.text[0];
        if (c == '{' || c == '(' || c == '[') {
          if (++depth > kMaxDepth) return fail("brackets nest too deeply");
        } else if (c == '}' || c == ')' || c == ']') {
          --depth;
        }
      } else if (calls && t.kind == Tok::Ident && isPunct('(')) {
        calls->emplace_back(t.text);
      }
    } while (depth > 0);
    return true;
  }

  // Skips to and past the ';' ending a statement, stepping over brackets.
  bool skipStatement() {
    while (!isPunct(';')) {
      if (peek().kind == Tok::End) return fail("expected ';'");
      if (isPunct('{') || isPunct('(') || isPunct('[')) {
        if (!skipGroup()) return false;
      } else {
        next();
      }
    }
    next();
    return true;
  }

  void addChunk(CodeChunk::Kind kind, size_t firstTok, int param = -1) {
    CodeChunk c;
    c.kind = kind;
    c.begin = mToks[firstTok].offset;
    c.line = mToks[firstTok].line;
    const Token& last = mToks[mPos - 1];
    c.end = last.offset + last.text.size() + (last.kind == Tok::String ? 2 : 0);
    c.param = param;
    mOut.chunks.push_back(std::move(c));
  }

  bool topLevel() {
    const size_t first = mPos;
    if (peek().kind == Tok::Preproc) {
      next();
      addChunk(CodeChunk::Preprocessor, first);
      return true;
    }
    if (isIdent("technique")) return technique();
    if (isIdent("struct")) return structDecl(first);
    if (isPunct(';')) {
      next();
      return true;
    }
    // Qualifiers decide between parameters and plain GLSL globals.
    bool code = false, attribute = false;
    for (;;) {
      const Token& t = peek();
      if (t.kind != Tok::Ident) break;
      if (t.text == "uniform" || t.text == "extern" || t.text == "shared" || t.text == "volatile" ||
          t.text == "inline") {
        next();
      } else if (t.text == "static" || t.text == "const" || t.text == "varying" || t.text == "in" ||
                 t.text == "out") {
        code = true;
        next();
      } else if (t.text == "attribute") {
        code = attribute = true;
        next();
      } else {
        break;
      }
    }
    if (peek().kind != Tok::Ident) return fail("expected a declaration");
    const std::string type(next().text);
    if (peek().kind == Tok::Ident && isPunct('(', 1)) return function(first);
    if (!code && knownType(type) && peek().kind == Tok::Ident) return parameter(first, type);
    if (!skipStatement()) return false;
    addChunk(CodeChunk::Global, first);
    mOut.chunks.back().attribute = attribute;
    return true;
  }

  bool function(size_t first) {
    CodeChunk c;
    c.name = std::string(next().text);
    if (!skipGroup()) return false;
    if (isPunct(';')) {  // a prototype
      next();
      addChunk(CodeChunk::Global, first);
      return true;
    }
    // Cg allows a return semantic; GLSL does not, so it is rejected here.
    if (!isPunct('{')) return fail("expected '{' after function parameters");
    std::vector<std::string> calls;
    if (!skipGroup(&calls)) return false;
    addChunk(CodeChunk::Function, first);
    mOut.chunks.back().name = c.name;
    mOut.chunks.back().calls = std::move(calls);
    return true;
  }

  bool arraySuffix(int& size) {
    size = 0;
    if (!isPunct('[')) return true;
    next();
    const Token& t = next();
    char* endp = nullptr;
    const std::string digits(t.text);
    const long n = t.kind == Tok::Number ? std::strtol(digits.c_str(), &endp, 10) : 0;
    if (t.kind != Tok::Number || *endp != '\0' || n < 1 || n > 4096)
      return fail("array size must be an integer from 1 to 4096");
    size = static_cast<int>(n);
    if (!expect(']')) return false;
    if (isPunct('[')) return fail("arrays of arrays are not supported");
    return true;
  }

  bool semantic(std::string& out) {
    if (!isPunct(':')) return true;
    next();
    return expectIdent(out, "a semantic");
  }

  bool structDecl(size_t first) {
    next();
    StructDecl s;
    if (!expectIdent(s.name, "a struct name")) return false;
    if (!expect('{')) return false;
    while (!isPunct('}')) {
      StructMember m;
      if (!expectIdent(m.typeName, "a member type")) return false;
      if (!knownType(m.typeName) || m.typeName == "string")
        return fail("unknown member type '" + m.typeName + "'");
      if (!expectIdent(m.name, "a member name")) return false;
      if (!arraySuffix(m.arraySize) || !semantic(m.semantic) || !expect(';')) return false;
      s.members.push_back(std::move(m));
    }
    next();
    if (!expect(';')) return false;
    if (s.members.empty()) return fail("struct '" + s.name + "' has no members");
    mOut.structs.push_back(std::move(s));
    addChunk(CodeChunk::Struct, first);
    return true;
  }

  // A value: tokens up to ';' (or ',' / '>' when `stopAtAngle`). Identifiers
  // used as constructors and all punctuation except a leading minus are
  // dropped: "float2(Greater, 0.5)" and "{Greater, 0.5}" both give two values.
  bool value(std::vector<std::string>& out, bool stopAtAngle = false) {
    int depth = 0;
    bool negate = false;
    bool afterValue = false;  // two values in a row mean a missing ';'
    for (;;) {
      const Token& t = peek();
      if (t.kind == Tok::End) return fail("unexpected end of file in a value");
      if (t.kind != Tok::Punct && afterValue) return fail("expected ';'");
      if (t.kind == Tok::Punct) {
        const char c = t.text[0];
        if (depth == 0 && (c == ';' || (stopAtAngle && c == '>'))) break;
        if (c == '{' || c == '(') {
          if (++depth > kMaxDepth) return fail("value nests too deeply");
        } else if (c == '}' || c == ')') {
          if (--depth < 0) return fail("unbalanced brackets in a value");
        }
        negate = c == '-';
        afterValue = c == '}' || c == ')';
        next();
        continue;
      }
      afterValue = true;
      next();
      if (t.kind == Tok::Ident && isPunct('(')) continue;  // constructor
      std::string v(t.text);
      if (negate && t.kind == Tok::Number) v.insert(v.begin(), '-');
      negate = false;
      out.push_back(std::move(v));
    }
    if (depth != 0) return fail("unbalanced brackets in a value");
    return true;
  }

  bool annotations(std::vector<Annotation>* out) {
    if (!isPunct('<')) return true;
    next();
    while (!isPunct('>')) {
      Annotation a;
      if (!expectIdent(a.type, "an annotation type") || !expectIdent(a.name, "an annotation name") ||
          !expect('='))
        return false;
      std::vector<std::string> parts;
      if (!value(parts, true) || !expect(';')) return false;
      for (const auto& p : parts) a.value += (a.value.empty() ? "" : " ") + p;
      if (out) out->push_back(std::move(a));
    }
    next();
    return true;
  }

  bool assignments(std::vector<Assignment>& out) {
    if (!expect('{')) return false;
    while (!isPunct('}')) {
      Assignment a;
      a.line = peek().line;
      if (!expectIdent(a.name, "a state name")) return false;
      if (!expect('=')) return false;
      if (!value(a.values) || !expect(';')) return false;
      out.push_back(std::move(a));
    }
    next();
    return true;
  }

  bool parameter(size_t first, const std::string& type) {
    ParamDecl p;
    p.typeName = type;
    p.line = mToks[first].line;
    p.name = std::string(next().text);
    if (!arraySuffix(p.arraySize) || !semantic(p.semantic) || !annotations(&p.annotations)) return false;
    if (isPunct('=')) {
      next();
      if (isIdent("sampler_state")) {
        next();
        if (!assignments(p.samplerStates)) return false;
      } else if (peek().kind == Tok::String) {
        p.initString = std::string(next().text);
        p.hasInit = true;
      } else {
        std::vector<std::string> parts;
        if (!value(parts)) return false;
        for (const auto& v : parts) {
          if (v == "true" || v == "false") {
            p.init.push_back(v == "true" ? 1.0f : 0.0f);
            continue;
          }
          char* endp = nullptr;
          const float f = std::strtof(v.c_str(), &endp);
          // GLSL and Cg allow an 'f' suffix on float literals.
          if (endp == v.c_str() || !(*endp == '\0' || ((*endp == 'f' || *endp == 'F') && endp[1] == '\0')))
            return fail("initialiser of '" + p.name + "' must be numeric");
          p.init.push_back(f);
        }
        p.hasInit = true;
      }
    }
    if (!expect(';')) return false;
    mOut.params.push_back(std::move(p));
    addChunk(CodeChunk::Parameter, first, static_cast<int>(mOut.params.size()) - 1);
    return true;
  }

  bool program(PassDecl& pass, const std::string& state) {
    std::string* target = nullptr;
    if (equalsNoCase(state, "VertexProgram") || equalsNoCase(state, "VertexShader")) {
      target = &pass.vertexEntry;
    } else if (equalsNoCase(state, "FragmentProgram") || equalsNoCase(state, "FragmentShader") ||
               equalsNoCase(state, "PixelShader")) {
      target = &pass.fragmentEntry;
    } else {
      return fail("'compile' assigned to '" + state + "'");
    }
    next();  // compile
    std::string profile;
    if (!expectIdent(profile, "a profile") || !expectIdent(*target, "an entry function")) return false;
    if (!expect('(')) return false;
    if (!isPunct(')')) return fail("entry functions take no arguments");
    next();
    return expect(';');
  }

  bool technique() {
    next();
    TechniqueDecl t;
    t.line = peek().line;
    if (peek().kind == Tok::Ident) t.name = std::string(next().text);
    if (!annotations(&t.annotations) || !expect('{')) return false;
    while (!isPunct('}')) {
      if (!isIdent("pass")) return fail("expected 'pass'");
      next();
      PassDecl p;
      p.line = peek().line;
      if (peek().kind == Tok::Ident) p.name = std::string(next().text);
      if (!annotations(nullptr) || !expect('{')) return false;
      while (!isPunct('}')) {
        Assignment a;
        a.line = peek().line;
        if (!expectIdent(a.name, "a state name")) return false;
        if (isPunct('[')) {  // indexed states (e.g. per-light) are not in the table
          return fail("indexed state '" + a.name + "' is not supported");
        }
        if (!expect('=')) return false;
        if (isIdent("compile")) {
          if (!program(p, a.name)) return false;
          continue;
        }
        if (!value(a.values) || !expect(';')) return false;
        p.states.push_back(std::move(a));
      }
      next();
      t.passes.push_back(std::move(p));
    }
    next();
    if (isPunct(';')) next();
    mOut.techniques.push_back(std::move(t));
    return true;
  }

  std::string_view mText;
  EffectSource& mOut;
  ParseError& mError;
  std::vector<Token> mToks;
  size_t mPos = 0;
};

}  // namespace

bool builtinType(std::string_view name, TypeInfo& out) {
  bool cgOnly = false;
  return lookupType(name, out, cgOnly);
}

std::string typeName(const TypeInfo& type) {
  switch (type.base) {
    case BaseType::Sampler1D: return "sampler1D";
    case BaseType::Sampler2D: return "sampler2D";
    case BaseType::Sampler3D: return "sampler3D";
    case BaseType::SamplerCube: return "samplerCUBE";
    case BaseType::SamplerRect: return "samplerRECT";
    case BaseType::String: return "string";
    case BaseType::Struct: return "struct";
    default: break;
  }
  static const char* kNames[] = {"float", "half", "fixed", "int", "bool"};
  std::string s = kNames[static_cast<int>(type.base)];
  if (type.rows > 1) {
    s += std::to_string(type.rows) + "x" + std::to_string(type.cols);
  } else if (type.cols > 1) {
    s += std::to_string(type.cols);
  }
  return s;
}

bool parseEffect(std::string_view text, EffectSource& out, ParseError& error) {
  out = EffectSource{};
  error = ParseError{};
  return Parser(text, out, error).run();
}

}  // namespace fx
