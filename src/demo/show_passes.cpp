// One frame of the show as pictures: each line's scene into its buffer
// (accumulated over the anti-aliasing samples), the post-effect chain through
// the work buffers into the final buffer, and the final buffer letterboxed
// onto the window. Nothing here allocates or reads GL state back.
#include <GL/glew.h>

#include <cstdio>

#include "demo/custom_textures.h"
#include "demo/definitions.h"
#include "demo/demo_manager.h"
#include "demo/demo_scene.h"
#include "demo/param_keys.h"
#include "demo/post_effects.h"
#include "demo/unit_square.h"

namespace {

// Parameter names of the ten buffers of one kind, formed once.
struct IndexedNames {
  char names[kSceneLineCount][16];
  explicit IndexedNames(const char* stem) {
    for (int i = 0; i < kSceneLineCount; ++i) std::snprintf(names[i], sizeof names[i], "%s%c", stem, '0' + i);
  }
  const char* operator[](int i) const { return names[i]; }
};
const IndexedNames kLineColourNames("srcCBuf");
const IndexedNames kLineDepthNames("srcZBuf");
const IndexedNames kWorkColourNames("workBuf");

// The quads' projection: the unit square (0..1 both ways, near -10, far 10)
// with an identity model-view, row-major. Set as a value rather than read
// back from GL.
const float kUnitSquareMvp[16] = {2, 0, 0, -1, 0, 2, 0, -1, 0, 0, -0.1f, 0, 0, 0, 0, 1};

// A vertex of the quad buffer: position (z 0), then texture coordinates.
constexpr GLsizei kQuadStride = 5 * sizeof(float);

}  // namespace

UnitSquare::UnitSquare(uint32_t quadBuffer, bool blending) : mArrays(quadBuffer != 0) {
  glMatrixMode(GL_PROJECTION);
  glPushMatrix();
  glLoadIdentity();
  glOrtho(0, 1, 0, 1, -10, 10);
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  glLoadIdentity();
  if (blending) {
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  } else {
    glDisable(GL_BLEND);
  }
  glDisable(GL_ALPHA_TEST);
  if (!mArrays) return;
  glBindBuffer(GL_ARRAY_BUFFER, quadBuffer);
  glEnableClientState(GL_VERTEX_ARRAY);
  glVertexPointer(3, GL_FLOAT, kQuadStride, nullptr);
  glEnableClientState(GL_TEXTURE_COORD_ARRAY);
  glTexCoordPointer(2, GL_FLOAT, kQuadStride, reinterpret_cast<const void*>(3 * sizeof(float)));
}

UnitSquare::~UnitSquare() {
  if (mArrays) {
    // The rest of the engine draws from client memory.
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    glDisableClientState(GL_VERTEX_ARRAY);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
  }
  glMatrixMode(GL_PROJECTION);
  glPopMatrix();
  glMatrixMode(GL_MODELVIEW);
  glPopMatrix();
  glEnable(GL_BLEND);
  glEnable(GL_ALPHA_TEST);
}

void demoManager::createQuads() {
  float rect[4];
  letterbox(mAspectWidth, mAspectHeight, rect);
  const float u = texScaleU;
  const float v = texScaleV;
  // Triangle strips: the whole square, then the letterboxed picture.
  const float quads[2][4][5] = {
      {{0, 1, 0, 0, v}, {0, 0, 0, 0, 0}, {1, 1, 0, u, v}, {1, 0, 0, u, 0}},
      {{rect[0], rect[3], 0, 0, v},
       {rect[0], rect[1], 0, 0, 0},
       {rect[2], rect[3], 0, u, v},
       {rect[2], rect[1], 0, u, 0}},
  };
  GLuint buffer = 0;
  glGenBuffers(1, &buffer);
  glBindBuffer(GL_ARRAY_BUFFER, buffer);
  glBufferData(GL_ARRAY_BUFFER, sizeof quads, quads, GL_STATIC_DRAW);
  glBindBuffer(GL_ARRAY_BUFFER, 0);
  mQuadBuffer = buffer;
}

void demoManager::drawQuad(int quad) const { glDrawArrays(GL_TRIANGLE_STRIP, quad * 4, 4); }

void demoManager::bindBufferNames(ParamKeys& keys) const {
  for (int i = 0; i < kSceneLineCount; ++i) keys.set(kLineColourNames[i], &mLineColour[i]);
  for (int i = 0; i < kSceneLineCount; ++i) keys.set(kLineDepthNames[i], &mLineDepth[i]);
  for (int i = 0; i < kWorkBufferCount; ++i) keys.set(kWorkColourNames[i], &mWorkColour[i]);
}

// A line's samples render into the sample buffer with the line's depth
// attached once for all of them, and accumulate into the line's buffer,
// which stays bound for the division.
void demoManager::scenePass(uint32_t t) {
  resShader* msaa = msaaEffect.get();
  if (!sampleBuffer || !msaa) return;
  shaderManager& shaders = shaderManager::instance();
  const int32_t samples = mSampleCount > 0 ? mSampleCount : 1;
  for (int line = 0; line < kSceneLineCount; ++line) {
    const int k = activeSlot(line, t);
    if (k < 0) continue;
    mDrawContext.overrideEffect = lineEffects[line][k].get();
    cDemoScene* scene = sceneSlots[line][k].get();
    const uint32_t span = scene->eTime() - scene->sTime();
    const float progress = span ? static_cast<float>(t - scene->sTime()) / static_cast<float>(span) : 0.0f;
    cScreenBuffer& target = *lineBuffers[line];
    sampleBuffer->attachDepth(mLineDepth[line]);
    for (int32_t i = samples - 1; i >= 0; --i) {
      glEnable(GL_DEPTH_TEST);
      if (i != samples - 1) sampleBuffer->bind();  // attachDepth bound it for the first
      jitterIndex = i;
      mDrawContext.jitter = jitterTable ? jitterTable[i] : glm::vec2(0.0f);
      scene->render(progress);
      glDisable(GL_DEPTH_TEST);

      shaders.setCurrentEffect(msaa);
      mSampleKeys.begin(*msaa);
      mSampleKeys.set("srcColBuf0", &mSampleColour);
      mSampleKeys.set("srcColBuf1", &mLineColour[line]);
      mSampleKeys.set("projMat", kUnitSquareMvp);
      target.bind();
      const uint32_t pass = i == samples - 1 ? 0 : 1;
      UnitSquare square(mQuadBuffer);
      msaa->setPassState(pass);
      drawQuad(0);
      msaa->resetPassState(pass);
    }
    if (mSampleCount > 0) {
      shaders.setCurrentEffect(msaa);
      mDivideKeys.begin(*msaa);
      mDivideKeys.setFloat("div", static_cast<float>(mSampleCount));
      mDivideKeys.set("srcColBuf1", &mLineColour[line]);
      mDivideKeys.set("projMat", kUnitSquareMvp);
      UnitSquare square(mQuadBuffer);
      msaa->setPassState(2);
      drawQuad(0);
      msaa->resetPassState(2);
    }
    jitterIndex = 0;
    mDrawContext.jitter = glm::vec2(0.0f);
  }
  mDrawContext.overrideEffect = nullptr;
}

// One unit-square stage and one pass run for the whole chain: between two
// effects only parameters and the target change.
void demoManager::postEffectPass(uint32_t t) {
  if (!finalBuffer) return;
  shaderManager& shaders = shaderManager::instance();
  cPostEffectManager& post = cPostEffectManager::instance();
  const customTextureManager& custom = customTextureManager::instance();
  const float viewport[4] = {static_cast<float>(viewportWidth), static_cast<float>(viewportHeight), 0, 0};
  const float ratioW = static_cast<float>(mScreenSize.x) / 1280.0f;
  const float ratioH = static_cast<float>(mScreenSize.y) / 720.0f;
  const float ratioR = static_cast<float>(mScreenSize.x * mScreenSize.y) / 921600.0f;
  UnitSquare square(mQuadBuffer);
  effectPassRun run;
  bool drawn = false;
  for (size_t m = 0; m < post.entryCount(); ++m) {
    resShader* effect = post.activeEffect(m, t);
    if (!effect) continue;
    drawn = true;
    const PostEffectRecord& entry = post.entry(m);
    shaders.setCurrentEffect(effect);
    ParamKeys& keys = post.keys(m);
    keys.begin(*effect, custom.generation());
    bindBufferNames(keys);
    keys.setFloat("TIME_RATE_EFFECT", post.timeRate(m, t));
    custom.apply(keys);
    keys.set("ViewportSize", viewport);
    post.bindConstantsAndSources(m, keys, mLineColour, mLineDepth, mWorkColour);
    keys.setFloat("SCREEN_RATIO_W", ratioW);
    keys.setFloat("SCREEN_RATIO_H", ratioH);
    keys.setFloat("SCREEN_RATIO_R", ratioR);
    keys.set("projMat", kUnitSquareMvp);
    (entry.renderTarget < 0 ? *finalBuffer : *workBuffers[entry.renderTarget]).bind();
    const uint32_t passes = effect->passCount();
    const uint32_t first = entry.execPass < 0 ? 0 : static_cast<uint32_t>(entry.execPass);
    const uint32_t last = entry.execPass < 0 ? passes : first + 1;
    for (uint32_t pass = first; pass < last; ++pass) {
      effect->setPassState(pass);
      drawQuad(0);
      effect->resetPassState(pass);
    }
  }
  resShader* null = nullPostEffect.get();
  if (drawn || !null) return;
  shaders.setCurrentEffect(null);
  mNullKeys.begin(*null);
  bindBufferNames(mNullKeys);
  mNullKeys.set("ViewportSize", viewport);
  mNullKeys.set("projMat", kUnitSquareMvp);
  finalBuffer->bind();
  for (uint32_t pass = 0; pass < null->passCount(); ++pass) {
    null->setPassState(pass);
    drawQuad(0);
    null->resetPassState(pass);
  }
}

void demoManager::letterbox(int32_t aw, int32_t ah, float (&rect)[4]) {
  const float w = static_cast<float>(aw > 0 ? aw : 16);
  const float h = static_cast<float>(ah > 0 ? ah : 9);
  const float r = (h / w) * 1.7777778f;
  const float q = (w / h) * 0.5625f;
  const float x0 = r < 1.0f ? (1.0f - r) / 2.0f : 0.0f;
  const float y0 = q < 1.0f ? (1.0f - q) / 2.0f : 0.0f;
  rect[0] = x0;
  rect[1] = y0;
  rect[2] = 1.0f - x0;
  rect[3] = 1.0f - y0;
}

// Draws into the default framebuffer, which the caller has bound.
void demoManager::finalScreenPass() {
  resShader* screen = finalScreenEffect.get();
  if (!screen) return;
  UnitSquare square(mQuadBuffer);
  shaderManager::instance().setCurrentEffect(screen);
  mFinalKeys.begin(*screen);
  mFinalKeys.set("shScreenTexture", &mFinalColour);
  mFinalKeys.set("projMat", kUnitSquareMvp);
  effectPassRun run;
  screen->setPassState(1);
  drawQuad(0);
  screen->resetPassState(1);
  screen->setPassState(0);
  drawQuad(1);
  screen->resetPassState(0);
}
