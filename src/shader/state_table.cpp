// The pass-state table: the CgFX state names an effect may assign, their
// value enums, and how each is read back, applied and restored on GL.
#include <GL/glew.h>

#include <cctype>
#include <cstdlib>
#include <cstring>

#include "shader/effect.h"

namespace fx {

namespace {

enum StateId : uint8_t {
  DepthTestEnable,
  DepthMask,
  DepthFunc,
  BlendEnable,
  BlendFunc,
  BlendFuncSeparate,
  BlendEquation,
  AlphaTestEnable,
  AlphaFunc,
  CullFaceEnable,
  CullFace,
  ColorMask,
  PointSpriteEnable,
  VertexProgramPointSizeEnable,
  PointSize,
  LightingEnable,
  kStateCount
};
static_assert(kStateCount == kStateIdCount, "the state ids and their count in effect.h differ");

// What each value of a state is: a boolean, one of an enum set, or a number.
enum class Arg : uint8_t { Bool, Compare, BlendFactor, Equation, Face, Number };

struct StateDef {
  const char* name;
  uint8_t argCount;
  Arg args[4];
};

const StateDef kStates[kStateCount] = {
    {"DepthTestEnable", 1, {Arg::Bool}},
    {"DepthMask", 1, {Arg::Bool}},
    {"DepthFunc", 1, {Arg::Compare}},
    {"BlendEnable", 1, {Arg::Bool}},
    {"BlendFunc", 2, {Arg::BlendFactor, Arg::BlendFactor}},
    {"BlendFuncSeparate", 4, {Arg::BlendFactor, Arg::BlendFactor, Arg::BlendFactor, Arg::BlendFactor}},
    {"BlendEquation", 1, {Arg::Equation}},
    {"AlphaTestEnable", 1, {Arg::Bool}},
    {"AlphaFunc", 2, {Arg::Compare, Arg::Number}},
    {"CullFaceEnable", 1, {Arg::Bool}},
    {"CullFace", 1, {Arg::Face}},
    {"ColorMask", 4, {Arg::Bool, Arg::Bool, Arg::Bool, Arg::Bool}},
    {"PointSpriteEnable", 1, {Arg::Bool}},
    {"VertexProgramPointSizeEnable", 1, {Arg::Bool}},
    {"PointSize", 1, {Arg::Number}},
    {"LightingEnable", 1, {Arg::Bool}},
};

struct EnumName {
  const char* name;
  uint32_t value;
};

const EnumName kBools[] = {{"true", 1}, {"false", 0}, {"1", 1}, {"0", 0}};
const EnumName kCompares[] = {{"Never", GL_NEVER},     {"Less", GL_LESS},         {"LEqual", GL_LEQUAL},
                              {"LessEqual", GL_LEQUAL}, {"Equal", GL_EQUAL},       {"Greater", GL_GREATER},
                              {"NotEqual", GL_NOTEQUAL}, {"GEqual", GL_GEQUAL},     {"GreaterEqual", GL_GEQUAL},
                              {"Always", GL_ALWAYS}};
const EnumName kFactors[] = {{"Zero", GL_ZERO},
                             {"One", GL_ONE},
                             {"SrcColor", GL_SRC_COLOR},
                             {"OneMinusSrcColor", GL_ONE_MINUS_SRC_COLOR},
                             {"DestColor", GL_DST_COLOR},
                             {"DstColor", GL_DST_COLOR},
                             {"OneMinusDestColor", GL_ONE_MINUS_DST_COLOR},
                             {"OneMinusDstColor", GL_ONE_MINUS_DST_COLOR},
                             {"SrcAlpha", GL_SRC_ALPHA},
                             {"OneMinusSrcAlpha", GL_ONE_MINUS_SRC_ALPHA},
                             {"DestAlpha", GL_DST_ALPHA},
                             {"DstAlpha", GL_DST_ALPHA},
                             {"OneMinusDestAlpha", GL_ONE_MINUS_DST_ALPHA},
                             {"OneMinusDstAlpha", GL_ONE_MINUS_DST_ALPHA},
                             {"SrcAlphaSaturate", GL_SRC_ALPHA_SATURATE},
                             {"ConstantColor", GL_CONSTANT_COLOR},
                             {"OneMinusConstantColor", GL_ONE_MINUS_CONSTANT_COLOR},
                             {"ConstantAlpha", GL_CONSTANT_ALPHA},
                             {"OneMinusConstantAlpha", GL_ONE_MINUS_CONSTANT_ALPHA}};
const EnumName kEquations[] = {{"FuncAdd", GL_FUNC_ADD},
                               {"Add", GL_FUNC_ADD},
                               {"FuncSubtract", GL_FUNC_SUBTRACT},
                               {"Subtract", GL_FUNC_SUBTRACT},
                               {"FuncReverseSubtract", GL_FUNC_REVERSE_SUBTRACT},
                               {"ReverseSubtract", GL_FUNC_REVERSE_SUBTRACT},
                               {"Min", GL_MIN},
                               {"Max", GL_MAX}};
const EnumName kFaces[] = {{"Front", GL_FRONT}, {"Back", GL_BACK}, {"FrontAndBack", GL_FRONT_AND_BACK}};

bool equalsNoCase(const std::string& a, const char* b) {
  const size_t n = std::strlen(b);
  if (a.size() != n) return false;
  for (size_t i = 0; i < n; ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
}

template <size_t N>
bool lookup(const EnumName (&table)[N], const std::string& text, uint32_t& out) {
  for (const auto& e : table) {
    if (equalsNoCase(text, e.name)) {
      out = e.value;
      return true;
    }
  }
  return false;
}

bool number(const std::string& text, float& out) {
  char* end = nullptr;
  out = std::strtof(text.c_str(), &end);
  return end != text.c_str() && (*end == '\0' || ((*end == 'f' || *end == 'F') && end[1] == '\0'));
}

bool resolveArg(Arg kind, const std::string& text, uint32_t& e, float& f) {
  switch (kind) {
    case Arg::Bool: return lookup(kBools, text, e);
    case Arg::Compare: return lookup(kCompares, text, e);
    case Arg::BlendFactor: return lookup(kFactors, text, e);
    case Arg::Equation: return lookup(kEquations, text, e);
    case Arg::Face: return lookup(kFaces, text, e);
    case Arg::Number: return number(text, f);
  }
  return false;
}

void enable(GLenum cap, uint32_t on) {
  if (on) {
    glEnable(cap);
  } else {
    glDisable(cap);
  }
}

GLenum capOf(uint8_t id) {
  switch (id) {
    case DepthTestEnable: return GL_DEPTH_TEST;
    case BlendEnable: return GL_BLEND;
    case AlphaTestEnable: return GL_ALPHA_TEST;
    case CullFaceEnable: return GL_CULL_FACE;
    case PointSpriteEnable: return GL_POINT_SPRITE;
    case VertexProgramPointSizeEnable: return GL_VERTEX_PROGRAM_POINT_SIZE;
    case LightingEnable: return GL_LIGHTING;
    default: return 0;
  }
}

GLint getInt(GLenum pname) {
  GLint v = 0;
  glGetIntegerv(pname, &v);
  return v;
}

}  // namespace

bool resolveState(const Assignment& a, StateSetting& out, std::string& error) {
  for (uint8_t id = 0; id < kStateCount; ++id) {
    const StateDef& def = kStates[id];
    if (!equalsNoCase(a.name, def.name)) continue;
    out = StateSetting{};
    out.id = id;
    if (a.values.size() != def.argCount) {
      error = "state '" + a.name + "' takes " + std::to_string(def.argCount) + " value(s)";
      return false;
    }
    for (size_t i = 0; i < def.argCount; ++i) {
      if (!resolveArg(def.args[i], a.values[i], out.e[i], out.f[i])) {
        error = "state '" + a.name + "': unknown value '" + a.values[i] + "'";
        return false;
      }
    }
    return true;
  }
  error = "unknown state '" + a.name + "'";
  return false;
}

void captureState(uint8_t id, SavedState& out) {
  out = SavedState{};
  out.id = id;
  if (const GLenum cap = capOf(id)) {
    out.e[0] = glIsEnabled(cap) ? 1 : 0;
    return;
  }
  switch (id) {
    case DepthMask: {
      GLboolean b = GL_TRUE;
      glGetBooleanv(GL_DEPTH_WRITEMASK, &b);
      out.e[0] = b ? 1 : 0;
      break;
    }
    case DepthFunc: out.e[0] = static_cast<uint32_t>(getInt(GL_DEPTH_FUNC)); break;
    case BlendFunc:
    case BlendFuncSeparate:
      // Both are restored through the separate form, which covers either.
      out.id = BlendFuncSeparate;
      out.e[0] = static_cast<uint32_t>(getInt(GL_BLEND_SRC_RGB));
      out.e[1] = static_cast<uint32_t>(getInt(GL_BLEND_DST_RGB));
      out.e[2] = static_cast<uint32_t>(getInt(GL_BLEND_SRC_ALPHA));
      out.e[3] = static_cast<uint32_t>(getInt(GL_BLEND_DST_ALPHA));
      break;
    case BlendEquation:
      out.e[0] = static_cast<uint32_t>(getInt(GL_BLEND_EQUATION_RGB));
      out.e[1] = static_cast<uint32_t>(getInt(GL_BLEND_EQUATION_ALPHA));
      break;
    case AlphaFunc:
      out.e[0] = static_cast<uint32_t>(getInt(GL_ALPHA_TEST_FUNC));
      glGetFloatv(GL_ALPHA_TEST_REF, &out.f[1]);
      break;
    case CullFace: out.e[0] = static_cast<uint32_t>(getInt(GL_CULL_FACE_MODE)); break;
    case ColorMask: {
      GLboolean m[4] = {GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE};
      glGetBooleanv(GL_COLOR_WRITEMASK, m);
      for (int i = 0; i < 4; ++i) out.e[i] = m[i] ? 1 : 0;
      break;
    }
    case PointSize: glGetFloatv(GL_POINT_SIZE, &out.f[0]); break;
    default: break;
  }
}

void applyState(const StateSetting& s) {
  if (const GLenum cap = capOf(s.id)) {
    enable(cap, s.e[0]);
    return;
  }
  switch (s.id) {
    case DepthMask: glDepthMask(s.e[0] ? GL_TRUE : GL_FALSE); break;
    case DepthFunc: glDepthFunc(s.e[0]); break;
    case BlendFunc: glBlendFunc(s.e[0], s.e[1]); break;
    case BlendFuncSeparate: glBlendFuncSeparate(s.e[0], s.e[1], s.e[2], s.e[3]); break;
    case BlendEquation:
      // A saved value carries both halves; a pass assignment sets one for both.
      glBlendEquationSeparate(s.e[0], s.e[1] ? s.e[1] : s.e[0]);
      break;
    case AlphaFunc: glAlphaFunc(s.e[0], s.f[1]); break;
    case CullFace: glCullFace(s.e[0]); break;
    case ColorMask:
      glColorMask(s.e[0] ? GL_TRUE : GL_FALSE, s.e[1] ? GL_TRUE : GL_FALSE, s.e[2] ? GL_TRUE : GL_FALSE,
                  s.e[3] ? GL_TRUE : GL_FALSE);
      break;
    case PointSize: glPointSize(s.f[0]); break;
    default: break;
  }
}

void restoreState(const SavedState& s) { applyState(s); }

StateSetting canonicalState(const StateSetting& s) {
  StateSetting c = s;
  if (s.id == BlendFunc) {
    c.id = BlendFuncSeparate;
    c.e[2] = s.e[0];
    c.e[3] = s.e[1];
  } else if (s.id == BlendEquation && s.e[1] == 0) {
    c.e[1] = s.e[0];
  }
  return c;
}

bool sameState(const StateSetting& a, const StateSetting& b) {
  return a.id == b.id && std::memcmp(a.e, b.e, sizeof a.e) == 0 && std::memcmp(a.f, b.f, sizeof a.f) == 0;
}

std::vector<std::string> stateNames() {
  std::vector<std::string> out;
  for (const auto& d : kStates) out.emplace_back(d.name);
  return out;
}

bool resolveSamplerState(const Assignment& a, SamplerSetting& out, std::string& error) {
  static const EnumName kNames[] = {{"MinFilter", GL_TEXTURE_MIN_FILTER}, {"MagFilter", GL_TEXTURE_MAG_FILTER},
                                    {"WrapS", GL_TEXTURE_WRAP_S},         {"WrapT", GL_TEXTURE_WRAP_T},
                                    {"WrapR", GL_TEXTURE_WRAP_R},         {"AddressU", GL_TEXTURE_WRAP_S},
                                    {"AddressV", GL_TEXTURE_WRAP_T},      {"AddressW", GL_TEXTURE_WRAP_R}};
  static const EnumName kFilters[] = {{"Nearest", GL_NEAREST},
                                      {"Point", GL_NEAREST},
                                      {"Linear", GL_LINEAR},
                                      {"NearestMipMapNearest", GL_NEAREST_MIPMAP_NEAREST},
                                      {"LinearMipMapNearest", GL_LINEAR_MIPMAP_NEAREST},
                                      {"NearestMipMapLinear", GL_NEAREST_MIPMAP_LINEAR},
                                      {"LinearMipMapLinear", GL_LINEAR_MIPMAP_LINEAR}};
  static const EnumName kWraps[] = {{"Repeat", GL_REPEAT},           {"Wrap", GL_REPEAT},
                                    {"Clamp", GL_CLAMP},             {"ClampToEdge", GL_CLAMP_TO_EDGE},
                                    {"ClampToBorder", GL_CLAMP_TO_BORDER}, {"Border", GL_CLAMP_TO_BORDER},
                                    {"MirroredRepeat", GL_MIRRORED_REPEAT}, {"Mirror", GL_MIRRORED_REPEAT}};
  // "Texture = <name>" names the texture the way another runtime would; here
  // textures come from setParameter, so the assignment is accepted and unused.
  if (equalsNoCase(a.name, "Texture")) {
    out = SamplerSetting{};
    return true;
  }
  uint32_t pname = 0, value = 0;
  if (!lookup(kNames, a.name, pname)) {
    error = "unknown sampler state '" + a.name + "'";
    return false;
  }
  const bool filter = pname == GL_TEXTURE_MIN_FILTER || pname == GL_TEXTURE_MAG_FILTER;
  const bool ok = a.values.size() == 1 &&
                  (filter ? lookup(kFilters, a.values[0], value) : lookup(kWraps, a.values[0], value));
  // Mip-map filters make no sense for magnification.
  if (!ok || (pname == GL_TEXTURE_MAG_FILTER && value != GL_NEAREST && value != GL_LINEAR)) {
    error = "sampler state '" + a.name + "': bad value";
    return false;
  }
  out.pname = pname;
  out.value = static_cast<int32_t>(value);
  return true;
}

}  // namespace fx
