// One frame of the show as pictures: each line's scene into its buffer
// (accumulated over the anti-aliasing samples), the post-effect chain through
// the work buffers into the final buffer, and the final buffer letterboxed
// onto the window. Nothing here allocates or reads GL state back.
#include <GL/glew.h>

#include <cstdio>

#include "demo/demo.h"

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

// The unit-square projection with blending and the alpha test off, for the
// quads of one stage; afterwards the engine's defaults (both on) are back.
class UnitSquare {
 public:
  UnitSquare() {
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(0, 1, 0, 1, -10, 10);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glDisable(GL_BLEND);
    glDisable(GL_ALPHA_TEST);
  }
  ~UnitSquare() {
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    glEnable(GL_BLEND);
    glEnable(GL_ALPHA_TEST);
  }
  UnitSquare(const UnitSquare&) = delete;
  UnitSquare& operator=(const UnitSquare&) = delete;
};

void bindDefaultFramebuffer() {
  glFlush();
  glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);
}

// The 2D and 4-component values the chain sets; float parameters take a
// pointer to four floats, so a scalar is repeated.
void setFloat(resShader* effect, const char* pName, float value) {
  const float v[4] = {value, value, value, value};
  effect->setParameter(pName, v);
}

}  // namespace

void demoManager::fullScreenQuad(float x0, float y0, float x1, float y1, resShader* effect) const {
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  if (effect) {
    shaderManager::instance().setCurrentEffect(effect);
    effect->setParameter("projMat", kUnitSquareMvp);
  }
  const float u = texScaleU;
  const float v = texScaleV;
  glBegin(GL_TRIANGLE_STRIP);
  glTexCoord2f(0, v);
  glVertex3f(x0, y1, 0);
  glTexCoord2f(0, 0);
  glVertex3f(x0, y0, 0);
  glTexCoord2f(u, v);
  glVertex3f(x1, y1, 0);
  glTexCoord2f(u, 0);
  glVertex3f(x1, y0, 0);
  glEnd();
  glPopMatrix();
}

void demoManager::bindBufferNames(resShader* effect) const {
  for (int i = 0; i < kSceneLineCount; ++i) effect->setParameter(kLineColourNames[i], &mLineColour[i]);
  for (int i = 0; i < kSceneLineCount; ++i) effect->setParameter(kLineDepthNames[i], &mLineDepth[i]);
  for (int i = 0; i < kWorkBufferCount; ++i) effect->setParameter(kWorkColourNames[i], &mWorkColour[i]);
}

void demoManager::scenePass(uint32_t t) {
  resShader* msaa = msaaEffect.get();
  if (!sampleBuffer || !msaa) return;
  shaderManager& shaders = shaderManager::instance();
  const int32_t samples = mSampleCount > 0 ? mSampleCount : 1;
  for (int line = 0; line < kSceneLineCount; ++line) {
    const int k = activeSlot(line, t);
    if (k < 0) continue;
    currentLineEffect = lineEffects[line][k].get();
    cDemoScene* scene = sceneSlots[line][k].get();
    const uint32_t span = scene->eTime() - scene->sTime();
    const float progress = span ? static_cast<float>(t - scene->sTime()) / static_cast<float>(span) : 0.0f;
    cScreenBuffer& target = *lineBuffers[line];
    for (int32_t i = samples - 1; i >= 0; --i) {
      sampleBuffer->attachDepth(mLineDepth[line]);
      glEnable(GL_DEPTH_TEST);
      sampleBuffer->bind();
      jitterIndex = i;
      scene->render(progress);
      bindDefaultFramebuffer();
      glDisable(GL_DEPTH_TEST);
      sampleBuffer->reattachDepth();

      shaders.setCurrentEffect(msaa);
      msaa->setParameter("srcColBuf0", &mSampleColour);
      msaa->setParameter("srcColBuf1", &mLineColour[line]);
      target.bind();
      const uint32_t pass = i == samples - 1 ? 0 : 1;
      {
        UnitSquare square;
        msaa->setPassState(pass);
        fullScreenQuad(0, 0, 1, 1, msaa);
        msaa->resetPassState(pass);
      }
      bindDefaultFramebuffer();
    }
    if (mSampleCount > 0) {
      shaders.setCurrentEffect(msaa);
      setFloat(msaa, "div", static_cast<float>(mSampleCount));
      msaa->setParameter("srcColBuf1", &mLineColour[line]);
      target.bind();
      {
        UnitSquare square;
        msaa->setPassState(2);
        fullScreenQuad(0, 0, 1, 1, msaa);
        msaa->resetPassState(2);
      }
      bindDefaultFramebuffer();
    }
    jitterIndex = 0;
  }
  currentLineEffect = nullptr;
}

void demoManager::postEffectPass(uint32_t t) {
  if (!finalBuffer) return;
  shaderManager& shaders = shaderManager::instance();
  cPostEffectManager& post = cPostEffectManager::instance();
  const float viewport[4] = {static_cast<float>(viewportWidth), static_cast<float>(viewportHeight), 0, 0};
  const float ratioW = static_cast<float>(mScreenSize.x) / 1280.0f;
  const float ratioH = static_cast<float>(mScreenSize.y) / 720.0f;
  const float ratioR = static_cast<float>(mScreenSize.x * mScreenSize.y) / 921600.0f;
  bool drawn = false;
  for (size_t m = 0; m < post.entryCount(); ++m) {
    resShader* effect = post.activeEffect(m, t);
    if (!effect) continue;
    drawn = true;
    const PostEffectRecord& entry = post.entry(m);
    shaders.setCurrentEffect(effect);
    bindBufferNames(effect);
    setFloat(effect, "TIME_RATE_EFFECT", post.timeRate(m, t));
    customTextureManager::instance().apply(effect);
    effect->setParameter("ViewportSize", viewport);
    post.bindConstantsAndSources(m, mLineColour, mLineDepth, mWorkColour);
    setFloat(effect, "SCREEN_RATIO_W", ratioW);
    setFloat(effect, "SCREEN_RATIO_H", ratioH);
    setFloat(effect, "SCREEN_RATIO_R", ratioR);
    (entry.renderTarget < 0 ? *finalBuffer : *workBuffers[entry.renderTarget]).bind();
    {
      UnitSquare square;
      const uint32_t passes = effect->passCount();
      const uint32_t first = entry.execPass < 0 ? 0 : static_cast<uint32_t>(entry.execPass);
      const uint32_t last = entry.execPass < 0 ? passes : first + 1;
      for (uint32_t pass = first; pass < last; ++pass) {
        effect->setPassState(pass);
        fullScreenQuad(0, 0, 1, 1, effect);
        effect->resetPassState(pass);
      }
    }
    bindDefaultFramebuffer();
  }
  resShader* null = nullPostEffect.get();
  if (drawn || !null) return;
  shaders.setCurrentEffect(null);
  bindBufferNames(null);
  null->setParameter("ViewportSize", viewport);
  finalBuffer->bind();
  {
    UnitSquare square;
    for (uint32_t pass = 0; pass < null->passCount(); ++pass) {
      null->setPassState(pass);
      fullScreenQuad(0, 0, 1, 1, null);
      null->resetPassState(pass);
    }
  }
  bindDefaultFramebuffer();
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

void demoManager::finalScreenPass() {
  resShader* screen = finalScreenEffect.get();
  glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);
  if (!screen) return;
  UnitSquare square;
  shaderManager::instance().setCurrentEffect(screen);
  screen->setParameter("shScreenTexture", &mFinalColour);
  screen->setPassState(1);
  fullScreenQuad(0, 0, 1, 1, screen);
  screen->resetPassState(1);
  float rect[4];
  letterbox(mAspectWidth, mAspectHeight, rect);
  screen->setPassState(0);
  fullScreenQuad(rect[0], rect[1], rect[2], rect[3], screen);
  screen->resetPassState(0);
}
