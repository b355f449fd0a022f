// Shader manager and effect resources.
#include <cctype>
#include <cstdio>
#include <vector>

#include "files/files.h"
#include "shader/effect.h"
#include "shader/shader.h"

VESPER_IMPLEMENT_DYNAMIC(resShader, resourceObject)
VESPER_IMPLEMENT_INTERFACE(shaderManager)
VESPER_IMPLEMENT_DYNAMIC(shaderManager, Interface<shaderManager>)

namespace {

const std::vector<shaderParam>& emptyTable() {
  static const std::vector<shaderParam> table;
  return table;
}

// Leading digits of `text` from `at` as a line number; 0 when none.
int digitsAt(const std::string& text, size_t at) {
  int n = 0;
  for (; at < text.size() && std::isdigit(static_cast<unsigned char>(text[at])) && n < 100000000; ++at) {
    n = n * 10 + (text[at] - '0');
  }
  return n;
}

// The file line of the first failure in an effect's messages: "NAME:L: " or
// "NAME(L): " from the effect reader, else the compiler log's "0:L(" or
// "0(L)" (the programs carry #line directives, so log lines are file
// lines). The reason: the first message line without "shader: NAME", with
// the log's first line after it.
void firstFailure(const std::string& messages, const std::string& name, int& line, std::string& reason) {
  line = 0;
  const std::string prefix = "shader: " + name;
  size_t end = messages.find('\n');
  std::string first = messages.substr(0, end);
  if (first.compare(0, prefix.size(), prefix) == 0) first.erase(0, prefix.size());
  if (!first.empty() && (first[0] == ':' || first[0] == '(')) {
    line = digitsAt(first, 1);
    if (line > 0) first.erase(0, first.find_first_not_of("0123456789", 1) + 1);
  }
  if (!first.empty() && first[0] == ':') first.erase(0, 1);
  while (!first.empty() && first[0] == ' ') first.erase(0, 1);
  reason = first;
  if (end == std::string::npos) return;
  const size_t next = messages.find('\n', end + 1);
  const std::string log = messages.substr(end + 1, next == std::string::npos ? std::string::npos : next - end - 1);
  if (log.empty()) return;
  reason += " " + log;
  if (line > 0) return;
  if (log.compare(0, 2, "0:") == 0) line = digitsAt(log, 2);
  if (log.compare(0, 2, "0(") == 0) line = digitsAt(log, 2);
}

}  // namespace

// ---------------------------------------------------------------------------
// resShader

resShader::resShader() = default;

resShader::~resShader() { unload(); }

bool resShader::canLoad(CoreFileStream& stream) { return hasExtension(stream, {"cg", "fx", "cgfx"}); }

bool resShader::load(CoreFileStream& stream) {
  resourceObject::load(stream);
  const std::string& mName = getName();
  // Whole entry plus two zero bytes, so the text is terminated. Effect files
  // are text of a few kilobytes: a size beyond any real one is a broken
  // entry, read as empty (and so falling back), never allocated.
  constexpr uint64_t kMaxEffectBytes = 16u << 20;
  const uint64_t size = stream.getSize() <= kMaxEffectBytes ? stream.getSize() : 0;
  std::vector<char> text(static_cast<size_t>(size) + 2, '\0');
  if (size) stream.read(text.data(), static_cast<int32_t>(size));
  std::string error;
  mOwnEffect = fx::Effect::fromText(std::string_view(text.data(), static_cast<size_t>(size)), mName, error);
  std::string messages;
  if (!mOwnEffect) {
    messages = "shader: " + mName + ":" + error + "\n";
  } else if (mOwnEffect->chooseTechnique(&messages) && mOwnEffect->passCount() > 0) {
    std::fputs(messages.c_str(), stderr);  // what a later technique made up for
    mEffect = mOwnEffect.get();
    return true;
  }
  std::fputs(messages.c_str(), stderr);
  int line = 0;
  std::string reason;
  firstFailure(messages, mName, line, reason);
  unload();
  setProblem(line, reason.empty() ? "no technique with a pass" : reason);
  if (mName == kDummyShaderName) CoreDebug::criticalError(critical::kDummyShader, kDummyShaderName);
  mFallback = loadEffect(kDummyShaderName);
  // An empty fallback entry gives nothing to draw with: as fatal as a broken one.
  if (!mFallback) CoreDebug::criticalError(critical::kDummyShader, kDummyShaderName);
  mEffect = mFallback->effectHandle();
  return true;
}

bool resShader::swapContents(resourceObject& other) {
  auto* o = dynamic_cast<resShader*>(&other);
  if (o == nullptr) return false;
  std::swap(mOwnEffect, o->mOwnEffect);
  std::swap(mEffect, o->mEffect);
  std::swap(mFallback, o->mFallback);
  swapProblem(other);
  return true;
}

bool resShader::unload() {
  if (mFallback) {
    resShader* f = mFallback;
    mFallback = nullptr;
    releaseEffect(f);
  }
  // A borrowed effect is never destroyed here: only the owner's is.
  mOwnEffect.reset();
  mEffect = nullptr;
  return true;
}

uint32_t resShader::passCount() const { return mEffect ? static_cast<uint32_t>(mEffect->passCount()) : 0; }

const std::vector<shaderParam>& resShader::parameters() const {
  return mEffect ? mEffect->parameters() : emptyTable();
}

void resShader::setPassState(uint32_t pass) {
  if (mEffect) mEffect->setPassState(pass);
}

void resShader::resetPassState(uint32_t pass) {
  if (mEffect) mEffect->resetPassState(pass);
}

void resShader::setParameter(const char* pName, const void* values) {
  if (mEffect) mEffect->setParameter(pName, values);
}

int32_t resShader::parameterKey(const char* pName) const { return mEffect ? mEffect->parameterKey(pName) : -1; }

void resShader::setParameterByKey(int32_t key, const void* values) {
  if (mEffect) mEffect->setParameterByKey(key, values);
}

void resShader::setStateMatrix(const char* pName, uint32_t flags, const StateMatrices& matrices) {
  if (mEffect) mEffect->setStateMatrix(pName, flags, matrices);
}

// ---------------------------------------------------------------------------
// Sharing by name

resShader* loadEffect(const char* pName) {
  resourceObject* loaded = resourceManager::instance().load(pName);
  if (loaded != nullptr && !loaded->isKindOf("resShader")) {
    resourceManager::instance().release(loaded);
    return nullptr;
  }
  return static_cast<resShader*>(loaded);
}

void releaseEffect(resShader* effect) {
  if (effect) resourceManager::instance().release(effect);
}

// ---------------------------------------------------------------------------
// shaderManager

bool shaderManager::initialize() {
  // The state table, managed samplers and immediate parameter setting are
  // built into the runtime; nothing needs a GL context yet.
  mContextReady = true;
  return true;
}

bool shaderManager::terminate() {
  mContextReady = false;
  mCurrent = nullptr;
  return true;
}

bool shaderManager::setCurrentEffect(resShader* effect) {
  if (!effect) return false;
  mCurrent = effect;
  return true;
}

void shaderManager::setParameter(const char* name, const void* values) {
  if (mCurrent) mCurrent->setParameter(name, values);
}

void shaderManager::setStateMatrix(const char* name, uint32_t flags, const StateMatrices& matrices) {
  if (mCurrent) mCurrent->setStateMatrix(name, flags, matrices);
}
