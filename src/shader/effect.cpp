// Effect runtime on GL: technique validation, programs per pass, parameter
// storage with immediate upload, managed samplers and state matrices.
#include <cstdint>
#include "shader/effect.h"

#include <GL/glew.h>

#include <cmath>
#include <cstdio>
#include <cstring>

namespace fx {

namespace {

// FNV-1a over a NUL-terminated name; also yields its length.
inline uint64_t hashName(const char* s, size_t& length) {
  uint64_t h = 1469598103934665603ull;
  const char* p = s;
  for (; *p; ++p) h = (h ^ static_cast<unsigned char>(*p)) * 1099511628211ull;
  length = static_cast<size_t>(p - s);
  return h;
}

SetKind setKindOf(const TypeInfo& t) {
  if (t.isSampler()) return t.base == BaseType::SamplerRect ? SetKind::None : SetKind::Sampler;
  if (t.base == BaseType::Float && t.rows == 4 && t.cols == 4) return SetKind::Matrix4;
  if ((t.base == BaseType::Float || t.base == BaseType::Half) && t.rows == 1) {
    return static_cast<SetKind>(static_cast<int>(SetKind::Float1) + t.cols - 1);
  }
  return SetKind::None;
}

uint32_t targetOf(BaseType b) {
  switch (b) {
    case BaseType::Sampler1D: return GL_TEXTURE_1D;
    case BaseType::Sampler2D: return GL_TEXTURE_2D;
    case BaseType::Sampler3D: return GL_TEXTURE_3D;
    case BaseType::SamplerCube: return GL_TEXTURE_CUBE_MAP;
    case BaseType::SamplerRect: return GL_TEXTURE_RECTANGLE_ARB;
    default: return 0;
  }
}

std::string infoLog(GLuint object, bool isProgram) {
  GLint length = 0;
  if (isProgram) {
    glGetProgramiv(object, GL_INFO_LOG_LENGTH, &length);
  } else {
    glGetShaderiv(object, GL_INFO_LOG_LENGTH, &length);
  }
  std::string log(static_cast<size_t>(length > 0 ? length : 1), '\0');
  if (isProgram) {
    glGetProgramInfoLog(object, length, nullptr, &log[0]);
  } else {
    glGetShaderInfoLog(object, length, nullptr, &log[0]);
  }
  log.resize(std::strlen(log.c_str()));
  if (!log.empty() && log.back() != '\n') log += '\n';
  return log;
}

bool glAvailable() { return glCreateShader != nullptr && glGetUniformLocation != nullptr; }

// The program and texture unit the runtime last bound; -1 until first read.
// Nothing else binds either, so passes need not read them back.
GLint gProgram = -1;
GLint gUnit = -1;

GLuint boundProgram() {
  if (gProgram < 0) glGetIntegerv(GL_CURRENT_PROGRAM, &gProgram);
  return static_cast<GLuint>(gProgram);
}

GLenum activeUnit() {
  if (gUnit < 0) glGetIntegerv(GL_ACTIVE_TEXTURE, &gUnit);
  return static_cast<GLenum>(gUnit);
}

void activateUnit(GLenum unit) {
  if (gUnit == static_cast<GLint>(unit)) return;
  glActiveTexture(unit);
  gUnit = static_cast<GLint>(unit);
}

// The open PassRun: per state id its passes assigned, the value in force
// before the run and the value in force now (both canonical).
struct RunState {
  bool open = false;
  GLuint outerProgram = 0;
  uint32_t touched = 0;
  StateSetting outer[kStateIdCount];
  StateSetting now[kStateIdCount];
};
RunState gRun;

}  // namespace

void useProgram(uint32_t program) {
  if (gProgram == static_cast<GLint>(program)) return;
  glUseProgram(program);
  gProgram = static_cast<GLint>(program);
}

PassRun::PassRun() : mOwner(!gRun.open) {
  if (!mOwner) return;
  gRun.open = true;
  gRun.outerProgram = boundProgram();
  gRun.touched = 0;
}

PassRun::~PassRun() {
  if (!mOwner) return;
  for (uint8_t id = 0; id < kStateIdCount; ++id) {
    if ((gRun.touched >> id & 1u) != 0 && !sameState(gRun.now[id], gRun.outer[id])) restoreState(gRun.outer[id]);
  }
  useProgram(gRun.outerProgram);
  gRun = RunState();
}

// ---------------------------------------------------------------------------
// Matrices.

void multiply4(const float* a, const float* b, float* out) {
  float r[16];
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 4; ++j) {
      float s = 0.0f;
      for (int k = 0; k < 4; ++k) s += a[i * 4 + k] * b[k * 4 + j];
      r[i * 4 + j] = s;
    }
  }
  std::memcpy(out, r, sizeof r);
}

void transpose4(const float* m, float* out) {
  float r[16];
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 4; ++j) r[i * 4 + j] = m[j * 4 + i];
  }
  std::memcpy(out, r, sizeof r);
}

bool invert4(const float* m, float* out) {
  // Gauss-Jordan with partial pivoting, in double for stability.
  double a[4][8];
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 4; ++j) {
      a[i][j] = m[i * 4 + j];
      a[i][j + 4] = i == j ? 1.0 : 0.0;
    }
  }
  for (int c = 0; c < 4; ++c) {
    int pivot = c;
    for (int r = c + 1; r < 4; ++r) {
      if (std::fabs(a[r][c]) > std::fabs(a[pivot][c])) pivot = r;
    }
    if (std::fabs(a[pivot][c]) < 1e-12) return false;
    if (pivot != c) {
      for (int j = 0; j < 8; ++j) std::swap(a[c][j], a[pivot][j]);
    }
    const double inv = 1.0 / a[c][c];
    for (int j = 0; j < 8; ++j) a[c][j] *= inv;
    for (int r = 0; r < 4; ++r) {
      if (r == c) continue;
      const double f = a[r][c];
      for (int j = 0; j < 8; ++j) a[r][j] -= f * a[c][j];
    }
  }
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 4; ++j) out[i * 4 + j] = static_cast<float>(a[i][j + 4]);
  }
  return true;
}

// ---------------------------------------------------------------------------
// Construction and the index.

std::unique_ptr<Effect> Effect::fromText(std::string_view text, const std::string& fileName,
                                         std::string& error) {
  static uint64_t lastSerial = 0;
  std::unique_ptr<Effect> e(new Effect);
  e->mSerial = ++lastSerial;
  e->mFileName = fileName;
  e->mText.assign(text.data(), text.size());
  ParseError pe;
  if (!parseEffect(e->mText, e->mSource, pe)) {
    error = std::to_string(pe.line) + ": " + pe.message;
    return nullptr;
  }
  std::vector<LeafParam> leaves;
  if (!flattenParameters(e->mSource, leaves, error)) return nullptr;
  int unit = 0;
  for (const auto& leaf : leaves) {
    ParamSlot s;
    s.type = leaf.type;
    s.kind = setKindOf(leaf.type);
    const size_t n = std::min<size_t>(leaf.init.size(), 16);
    for (size_t i = 0; i < n; ++i) s.v[i] = leaf.init[i];
    if (leaf.type.isSampler()) {
      s.unit = unit++;
      s.target = targetOf(leaf.type.base);
      for (const auto& a : leaf.decl->samplerStates) {
        SamplerSetting setting;
        if (!resolveSamplerState(a, setting, error)) {
          error = std::to_string(a.line) + ": " + error;
          return nullptr;
        }
        if (setting.pname) s.samplerStates.push_back(setting);
      }
    }
    e->mParams.push_back({leaf.name, leaf.semantic, static_cast<uint32_t>(e->mSlots.size()), leaf.type});
    e->mSlots.push_back(std::move(s));
  }
  e->buildIndex();
  return e;
}

void Effect::buildIndex() {
  // Keys: every distinct name and semantic, each with its slots in table order.
  std::vector<std::pair<std::string, std::vector<uint32_t>>> keys;
  auto add = [&](const std::string& key, uint32_t slot) {
    if (key.empty()) return;
    for (auto& k : keys) {
      if (k.first == key) {
        if (k.second.back() != slot) k.second.push_back(slot);
        return;
      }
    }
    keys.push_back({key, {slot}});
  };
  for (const auto& p : mParams) {
    add(p.name, p.handle);
    add(p.semantic, p.handle);
  }
  size_t size = 8;
  while (size < keys.size() * 2) size *= 2;
  mIndex.assign(size, IndexEntry{});
  mIndexSlots.clear();
  for (auto& k : keys) {
    size_t length = 0;
    const uint64_t h = hashName(k.first.c_str(), length);
    size_t i = h & (size - 1);
    while (mIndex[i].count) i = (i + 1) & (size - 1);
    IndexEntry& entry = mIndex[i];
    entry.hash = h;
    entry.key = k.first;
    entry.first = static_cast<uint32_t>(mIndexSlots.size());
    entry.count = static_cast<uint32_t>(k.second.size());
    mIndexSlots.insert(mIndexSlots.end(), k.second.begin(), k.second.end());
  }
}

const Effect::IndexEntry* Effect::find(const char* name) const {
  size_t length = 0;
  const uint64_t h = hashName(name, length);
  const size_t mask = mIndex.size() - 1;
  for (size_t i = h & mask;; i = (i + 1) & mask) {
    const IndexEntry& e = mIndex[i];
    if (!e.count) return nullptr;
    if (e.hash == h && e.key.size() == length && std::memcmp(e.key.data(), name, length) == 0) return &e;
  }
}

const std::string& Effect::techniqueName() const {
  static const std::string kNone;
  return mTechnique >= 0 ? mSource.techniques[static_cast<size_t>(mTechnique)].name : kNone;
}

// ---------------------------------------------------------------------------
// Programs and techniques.

uint32_t Effect::shader(Stage stage, const std::string& entry, const std::string& where, bool& ok) {
  const auto key = std::make_pair(static_cast<int>(stage), entry);
  const auto it = mShaders.find(key);
  if (it != mShaders.end()) {
    ok = it->second != 0;
    return it->second;
  }
  const char* stageName = stage == Stage::Vertex ? "vertex" : "fragment";
  std::string text;
  GLuint object = 0;
  if (!generateProgram(mText, mSource, entry, stage, text)) {
    report("shader: " + mFileName + ": " + where + ": " + stageName + " program entry '" + entry +
           "' is not a function of the file\n");
  } else {
    object = glCreateShader(stage == Stage::Vertex ? GL_VERTEX_SHADER : GL_FRAGMENT_SHADER);
    const char* src = text.c_str();
    glShaderSource(object, 1, &src, nullptr);
    glCompileShader(object);
    GLint status = 0;
    glGetShaderiv(object, GL_COMPILE_STATUS, &status);
    if (!status) {
      report("shader: " + mFileName + ": " + where + ": " + stageName + " program '" + entry +
             "' failed to compile:\n" + infoLog(object, false));
      glDeleteShader(object);
      object = 0;
    }
  }
  mShaders[key] = object;
  ok = object != 0;
  return object;
}

uint32_t Effect::program(const std::string& vs, const std::string& fs, const std::string& where,
                         bool& ok) {
  ok = true;
  if (vs.empty() && fs.empty()) return 0;  // fixed function
  const auto key = std::make_pair(vs, fs);
  const auto it = mPrograms.find(key);
  if (it != mPrograms.end()) {
    ok = it->second != 0;
    return it->second;
  }
  bool vok = true, fok = true;
  const GLuint v = vs.empty() ? 0 : shader(Stage::Vertex, vs, where, vok);
  const GLuint f = fs.empty() ? 0 : shader(Stage::Fragment, fs, where, fok);
  GLuint p = 0;
  if (vok && fok) {
    p = glCreateProgram();
    if (v) glAttachShader(p, v);
    if (f) glAttachShader(p, f);
    glLinkProgram(p);
    GLint status = 0;
    glGetProgramiv(p, GL_LINK_STATUS, &status);
    if (!status) {
      report("shader: " + mFileName + ": " + where + ": programs failed to link:\n" + infoLog(p, true));
      glDeleteProgram(p);
      p = 0;
    }
  }
  mPrograms[key] = p;
  ok = p != 0;
  return p;
}

void Effect::report(const std::string& message) const {
  if (mDiagnostics) {
    *mDiagnostics += message;
  } else {
    std::fputs(message.c_str(), stderr);
  }
}

bool Effect::chooseTechnique(std::string* diagnostics) {
  mDiagnostics = diagnostics;
  const bool chosen = chooseFirstValidTechnique();
  mDiagnostics = nullptr;
  return chosen;
}

bool Effect::chooseFirstValidTechnique() {
  mPasses.clear();
  mTechnique = -1;
  mActive = nullptr;
  if (!glAvailable()) {
    report("shader: " + mFileName + ": no GL context to validate techniques on\n");
    return false;
  }
  for (size_t t = 0; t < mSource.techniques.size(); ++t) {
    const TechniqueDecl& tech = mSource.techniques[t];
    std::vector<Pass> passes;
    bool valid = !tech.passes.empty();
    for (const auto& pd : tech.passes) {
      if (!valid) break;
      const std::string where = "technique \"" + tech.name + "\" pass \"" + pd.name + "\"";
      Pass pass;
      pass.name = pd.name;
      for (const auto& a : pd.states) {
        StateSetting s;
        std::string error;
        if (!resolveState(a, s, error)) {
          report("shader: " + mFileName + "(" + std::to_string(a.line) + "): " + where + ": " + error + "\n");
          valid = false;
          break;
        }
        pass.states.push_back(s);
      }
      bool ok = valid;
      if (valid) pass.program = program(pd.vertexEntry, pd.fragmentEntry, where, ok);
      valid = valid && ok;
      pass.saved.resize(pass.states.size());
      passes.push_back(std::move(pass));
    }
    if (!valid) continue;
    // Locations and sampler units, once per program.
    const GLuint previous = boundProgram();
    for (auto& pass : passes) {
      pass.locations.assign(mSlots.size(), -1);
      pass.uploaded.assign(mSlots.size(), 0);
      if (!pass.program) continue;
      useProgram(pass.program);
      for (size_t i = 0; i < mSlots.size(); ++i) {
        if (mSlots[i].type.base == BaseType::String) continue;
        pass.locations[i] = glGetUniformLocation(pass.program, mParams[i].name.c_str());
        if (pass.locations[i] >= 0 && mSlots[i].unit >= 0) glUniform1i(pass.locations[i], mSlots[i].unit);
      }
    }
    useProgram(previous);
    mPasses = std::move(passes);
    mTechnique = static_cast<int>(t);
    return true;
  }
  return false;
}

Effect::~Effect() {
  if (!glAvailable()) return;
  for (const auto& p : mPrograms) {
    if (!p.second) continue;
    // A deleted program's name may come back: read the binding afresh.
    if (gProgram == static_cast<GLint>(p.second)) gProgram = -1;
    glDeleteProgram(p.second);
  }
  for (const auto& s : mShaders) {
    if (s.second) glDeleteShader(s.second);
  }
}

// ---------------------------------------------------------------------------
// Passes and values.

void Effect::upload(const ParamSlot& s, int32_t loc) const {
  const TypeInfo& t = s.type;
  if (t.isSampler() || t.base == BaseType::String) return;
  if (t.base == BaseType::Int || t.base == BaseType::Bool) {
    GLint iv[4];
    // Out-of-range or NaN values would make the conversion undefined.
    for (int i = 0; i < t.cols; ++i) {
      const float f = s.v[i];
      iv[i] = f != f ? 0 : f >= 2147483520.0f ? INT32_MAX : f <= -2147483648.0f ? INT32_MIN : static_cast<GLint>(f);
    }
    switch (t.cols) {
      case 1: glUniform1iv(loc, 1, iv); break;
      case 2: glUniform2iv(loc, 1, iv); break;
      case 3: glUniform3iv(loc, 1, iv); break;
      default: glUniform4iv(loc, 1, iv); break;
    }
    return;
  }
  if (t.rows == 1) {
    switch (t.cols) {
      case 1: glUniform1fv(loc, 1, s.v); break;
      case 2: glUniform2fv(loc, 1, s.v); break;
      case 3: glUniform3fv(loc, 1, s.v); break;
      default: glUniform4fv(loc, 1, s.v); break;
    }
    return;
  }
  // Values are row-major; GL transposes on upload. Cg RxC is GLSL matCxR.
  const int key = t.rows * 10 + t.cols;
  switch (key) {
    case 22: glUniformMatrix2fv(loc, 1, GL_TRUE, s.v); break;
    case 33: glUniformMatrix3fv(loc, 1, GL_TRUE, s.v); break;
    case 44: glUniformMatrix4fv(loc, 1, GL_TRUE, s.v); break;
    case 23: glUniformMatrix3x2fv(loc, 1, GL_TRUE, s.v); break;
    case 32: glUniformMatrix2x3fv(loc, 1, GL_TRUE, s.v); break;
    case 24: glUniformMatrix4x2fv(loc, 1, GL_TRUE, s.v); break;
    case 42: glUniformMatrix2x4fv(loc, 1, GL_TRUE, s.v); break;
    case 34: glUniformMatrix4x3fv(loc, 1, GL_TRUE, s.v); break;
    case 43: glUniformMatrix3x4fv(loc, 1, GL_TRUE, s.v); break;
    default: break;
  }
}

void Effect::bindSampler(const ParamSlot& s) const {
  activateUnit(GL_TEXTURE0 + static_cast<GLenum>(s.unit));
  glBindTexture(s.target, s.texture);
  if (s.texture) {
    for (const auto& st : s.samplerStates) glTexParameteri(s.target, st.pname, st.value);
  }
  activateUnit(GL_TEXTURE0);
}

void Effect::setPassState(size_t i) {
  if (i >= mPasses.size()) return;
  Pass& p = mPasses[i];
  p.savedActiveTexture = static_cast<int32_t>(activeUnit());
  if (gRun.open) {
    // What the last pass left is known: change only what differs, and put
    // back what this pass does not assign.
    p.savedProgram = static_cast<int32_t>(gRun.outerProgram);
    uint32_t assigned = 0;
    for (const StateSetting& state : p.states) {
      const StateSetting c = canonicalState(state);
      const uint32_t bit = 1u << c.id;
      if (!(gRun.touched & bit)) {
        captureState(state.id, gRun.outer[c.id]);
        gRun.now[c.id] = gRun.outer[c.id];
        gRun.touched |= bit;
      }
      if (!sameState(gRun.now[c.id], c)) {
        applyState(state);
        gRun.now[c.id] = c;
      }
      assigned |= bit;
    }
    for (uint8_t id = 0; id < kStateIdCount; ++id) {
      if (((gRun.touched & ~assigned) >> id & 1u) != 0 && !sameState(gRun.now[id], gRun.outer[id])) {
        restoreState(gRun.outer[id]);
        gRun.now[id] = gRun.outer[id];
      }
    }
  } else {
    p.savedProgram = static_cast<int32_t>(boundProgram());
    for (size_t s = 0; s < p.states.size(); ++s) {
      captureState(p.states[s].id, p.saved[s]);
      applyState(p.states[s]);
    }
  }
  useProgram(p.program);
  if (p.program) {
    for (size_t s = 0; s < mSlots.size(); ++s) {
      if (p.locations[s] < 0) continue;
      if (mSlots[s].unit >= 0) {
        bindSampler(mSlots[s]);
      } else if (p.uploaded[s] != mSlots[s].version) {
        upload(mSlots[s], p.locations[s]);
        p.uploaded[s] = mSlots[s].version;
      }
    }
  }
  mActive = &p;
}

void Effect::resetPassState(size_t i) {
  if (i >= mPasses.size()) return;
  Pass& p = mPasses[i];
  if (!gRun.open) {
    for (size_t s = p.states.size(); s-- > 0;) restoreState(p.saved[s]);
    useProgram(static_cast<GLuint>(p.savedProgram));
  }
  activateUnit(static_cast<GLenum>(p.savedActiveTexture));
  if (mActive == &p) mActive = nullptr;
}

void Effect::setSlot(uint32_t handle, const void* values) {
  ParamSlot& s = mSlots[handle];
  const int32_t loc = mActive ? mActive->locations[handle] : -1;
  switch (s.kind) {
    case SetKind::None: return;
    case SetKind::Float1:
    case SetKind::Float2:
    case SetKind::Float3:
    case SetKind::Float4: {
      const int n = static_cast<int>(s.kind) - static_cast<int>(SetKind::Float1) + 1;
      // The active pass's program already holds the stored value.
      if (std::memcmp(s.v, values, sizeof(float) * static_cast<size_t>(n)) == 0) return;
      std::memcpy(s.v, values, sizeof(float) * static_cast<size_t>(n));
      ++s.version;
      if (loc < 0) return;
      mActive->uploaded[handle] = s.version;
      switch (n) {
        case 1: glUniform1fv(loc, 1, s.v); break;
        case 2: glUniform2fv(loc, 1, s.v); break;
        case 3: glUniform3fv(loc, 1, s.v); break;
        default: glUniform4fv(loc, 1, s.v); break;
      }
      return;
    }
    case SetKind::Matrix4:
      if (std::memcmp(s.v, values, sizeof(float) * 16) == 0) return;
      std::memcpy(s.v, values, sizeof(float) * 16);
      ++s.version;
      if (loc < 0) return;
      mActive->uploaded[handle] = s.version;
      glUniformMatrix4fv(loc, 1, GL_TRUE, s.v);
      return;
    case SetKind::Sampler:
      // The value is a GL texture name stored in the float's 32 bits.
      std::memcpy(&s.texture, values, sizeof s.texture);
      if (loc >= 0) bindSampler(s);
      return;
  }
}

void Effect::setEntry(const IndexEntry& e, const void* values) {
  for (uint32_t i = 0; i < e.count; ++i) setSlot(mIndexSlots[e.first + i], values);
}

void Effect::setParameter(const char* name, const void* values) {
  if (!name || !*name || !values) return;
  if (const IndexEntry* e = find(name)) setEntry(*e, values);
}

int32_t Effect::parameterKey(const char* name) const {
  if (!name || !*name) return -1;
  const IndexEntry* e = find(name);
  return e ? static_cast<int32_t>(e - mIndex.data()) : -1;
}

void Effect::setParameterByKey(int32_t key, const void* values) {
  if (key < 0 || static_cast<size_t>(key) >= mIndex.size() || !values) return;
  setEntry(mIndex[static_cast<size_t>(key)], values);
}

void Effect::setStateMatrix(const char* name, uint32_t flags, const StateMatrices& matrices) {
  if (!name || !*name) return;
  const IndexEntry* e = find(name);
  if (!e) return;
  // GL keeps matrices column-major: reading one as row-major transposes it.
  static const float kIdentity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
  float m[16];
  switch (flags & 0xF0) {
    case 0x20: std::memcpy(m, matrices.projection, sizeof m); break;
    case 0x40: std::memcpy(m, kIdentity, sizeof m); break;
    case 0x80: multiply4(matrices.modelView, matrices.projection, m); break;  // (P * MV) transposed = MV^T * P^T
    default: std::memcpy(m, matrices.modelView, sizeof m); break;
  }
  transpose4(m, m);
  switch (flags & 0x0F) {
    case 0x2: transpose4(m, m); break;
    case 0x4: invert4(m, m); break;
    case 0x8:
      invert4(m, m);
      transpose4(m, m);
      break;
    default: break;
  }
  for (uint32_t i = 0; i < e->count; ++i) {
    const uint32_t h = mIndexSlots[e->first + i];
    const TypeInfo& t = mSlots[h].type;
    if (t.rows != 4 || t.cols != 4 || (t.base != BaseType::Float && t.base != BaseType::Half)) continue;
    std::memcpy(mSlots[h].v, m, sizeof m);
    ++mSlots[h].version;
    const int32_t loc = mActive ? mActive->locations[h] : -1;
    if (loc < 0) continue;
    mActive->uploaded[h] = mSlots[h].version;
    glUniformMatrix4fv(loc, 1, GL_TRUE, m);
  }
}

}  // namespace fx
