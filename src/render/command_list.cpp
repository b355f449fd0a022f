// The recorded draw-command list: arenas, recording, execution by layer.
#include <GL/glew.h>
#include <GL/glu.h>

#include <new>

#include "render/render.h"
#include "texture/texture.h"

VESPER_IMPLEMENT_INTERFACE(intermediateCommand)
VESPER_IMPLEMENT_DYNAMIC(intermediateCommand, Interface<intermediateCommand>)

// Records are placed at 16-byte steps from each arena's start, which the
// default operator new alignment guarantees.
static_assert(__STDCPP_DEFAULT_NEW_ALIGNMENT__ >= 16, "arenas need 16-byte alignment");
static_assert(sizeof(cmdBeginDraw) == 16 && sizeof(cmdEndDraw) == 16, "bracket records");
static_assert(sizeof(cmdPushMatrix) == 16 && sizeof(cmdLoadIdentity) == 16, "matrix records");
static_assert(sizeof(cmdOrtho) == 48 && sizeof(cmdLookAt) == 48, "projection records");
static_assert(sizeof(cmdTranslate) == 32 && sizeof(cmdDrawQuad) == 32, "payload records");
static_assert(sizeof(cmdChangeMaterial) % 16 == 0, "record sizes are multiples of 16");

void cmdPushMatrix::execute(intermediateCommand&) const {
  glMatrixMode(mMode);
  glPushMatrix();
}

void cmdPopMatrix::execute(intermediateCommand&) const {
  glMatrixMode(mMode);
  glPopMatrix();
}

void cmdLoadIdentity::execute(intermediateCommand&) const {
  glMatrixMode(mMode);
  glLoadIdentity();
}

void cmdOrtho::execute(intermediateCommand&) const {
  glOrtho(mValues[0], mValues[1], mValues[2], mValues[3], mValues[4], mValues[5]);
}

void cmdLookAt::execute(intermediateCommand&) const {
  gluLookAt(mValues[0], mValues[1], mValues[2], mValues[3], mValues[4], mValues[5], mValues[6],
            mValues[7], mValues[8]);
}

void cmdTranslate::execute(intermediateCommand&) const { glTranslatef(mX, mY, mZ); }

void cmdChangeMaterial::execute(intermediateCommand& list) const { list.setCurrentMaterial(mMaterial); }

void cmdDrawQuad::execute(intermediateCommand& list) const {
  const drawMaterial* m = list.currentMaterial();
  // A refused newMaterial leaves no material to draw with.
  if (!m) return;
  glColor4f(m->red, m->green, m->blue, m->alpha);
  const bool textured = m->texture != nullptr;
  if (textured) {
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, textureManager::instance().glName(m->texture));
  }
  const GLfloat vertices[4][5] = {
      {m->sLeft, m->tTop, 0.0f, mHeight, 0.0f},
      {m->sRight, m->tTop, mWidth, mHeight, 0.0f},
      {m->sLeft, m->tBottom, 0.0f, 0.0f, 0.0f},
      {m->sRight, m->tBottom, mWidth, 0.0f, 0.0f},
  };
  glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT);
  glInterleavedArrays(GL_T2F_V3F, 0, vertices);
  glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
  glPopClientAttrib();
  if (textured) {
    glBindTexture(GL_TEXTURE_2D, 0);
    glDisable(GL_TEXTURE_2D);
  }
}

// ---------------------------------------------------------------------------

bool intermediateCommand::initialize() {
  mMaterialArena.reset(new uint8_t[mMaterialBytes]);
  mMaterialEnd = mMaterialArena.get() + mMaterialBytes;
  for (int i = 0; i < kLayerCount; ++i) {
    mLayerArena[i].reset(new uint8_t[mLayerBytes]);
    mLayerEnd[i] = mLayerArena[i].get() + mLayerBytes;
  }
  reset();
  return true;
}

bool intermediateCommand::terminate() {
  mMaterialArena.reset();
  mMaterialCursor = mMaterialEnd = nullptr;
  mMaterialCount = 0;
  mCurrentMaterial = nullptr;
  for (int i = 0; i < kLayerCount; ++i) {
    mLayerArena[i].reset();
    mLayerCursor[i] = mLayerEnd[i] = nullptr;
    mLayerCount[i] = 0;
  }
  return true;
}

void intermediateCommand::setArenaSizesForTesting(size_t layerBytes, size_t materialBytes) {
  mLayerBytes = layerBytes ? layerBytes : kLayerBytes;
  mMaterialBytes = materialBytes ? materialBytes : kMaterialBytes;
}

void intermediateCommand::reset() {
  for (int i = 0; i < kLayerCount; ++i) {
    mLayerCursor[i] = mLayerArena[i].get();
    mLayerCount[i] = 0;
  }
  mMaterialCursor = mMaterialArena.get();
  mMaterialCount = 0;
}

bool intermediateCommand::beginDraw() {
  mCurrentLayer = 6;
  return record<cmdBeginDraw>();
}

bool intermediateCommand::endDraw() {
  const bool recorded = record<cmdEndDraw>();
  mCurrentLayer = 0;
  return recorded;
}

bool intermediateCommand::pushMatrix(GlEnum mode) { return record<cmdPushMatrix>(mode); }
bool intermediateCommand::popMatrix(GlEnum mode) { return record<cmdPopMatrix>(mode); }
bool intermediateCommand::loadIdentity(GlEnum mode) { return record<cmdLoadIdentity>(mode); }

bool intermediateCommand::ortho(float l, float r, float b, float t, float n, float f) {
  return record<cmdOrtho>(l, r, b, t, n, f);
}

bool intermediateCommand::lookAt(float ex, float ey, float ez, float cx, float cy, float cz, float ux,
                                 float uy, float uz) {
  return record<cmdLookAt>(ex, ey, ez, cx, cy, cz, ux, uy, uz);
}

bool intermediateCommand::translate(float x, float y, float z) { return record<cmdTranslate>(x, y, z); }

bool intermediateCommand::changeMaterial(const drawMaterial* material) {
  return record<cmdChangeMaterial>(material);
}

bool intermediateCommand::drawQuad(float w, float h) { return record<cmdDrawQuad>(w, h); }

bool intermediateCommand::recordScreenOverlay(const drawMaterial* material) {
  // All or nothing: a sequence cut short by a full arena would leave pushed
  // matrices without their pops.
  const int savedLayer = mCurrentLayer;
  uint8_t* const savedCursor = mLayerCursor[6];
  const uint32_t savedCount = mLayerCount[6];
  // The unit square, y pointing down, seen from far in front so that any
  // depth range and culling state still shows it.
  bool ok = beginDraw();
  ok = pushMatrix(GL_PROJECTION) && ok;
  ok = loadIdentity(GL_PROJECTION) && ok;
  ok = ortho(0, 1, 1, 0, 0.01f, 1000) && ok;
  ok = pushMatrix(GL_MODELVIEW) && ok;
  ok = loadIdentity(GL_MODELVIEW) && ok;
  ok = lookAt(0, 0, 900, 0, 0, -1, 0, 1, 0) && ok;
  ok = pushMatrix(GL_MODELVIEW) && ok;
  ok = changeMaterial(material) && ok;
  ok = translate(0, 0, 1) && ok;
  ok = drawQuad(1, 1) && ok;
  ok = popMatrix(GL_MODELVIEW) && ok;
  ok = popMatrix(GL_MODELVIEW) && ok;
  ok = popMatrix(GL_PROJECTION) && ok;
  ok = endDraw() && ok;
  if (!ok) {
    mLayerCursor[6] = savedCursor;
    mLayerCount[6] = savedCount;
    mCurrentLayer = savedLayer;
  }
  return ok;
}

drawMaterial* intermediateCommand::newMaterial() {
  if (!mMaterialCursor ||
      static_cast<size_t>(mMaterialEnd - mMaterialCursor) < sizeof(drawMaterial)) {
    return nullptr;
  }
  drawMaterial* m = new (mMaterialCursor) drawMaterial();
  mMaterialCursor += sizeof(drawMaterial);
  ++mMaterialCount;
  return m;
}

void intermediateCommand::execute() {
  // Each frame's quads draw with materials of that frame: the last frame's
  // current material points into an arena that has been refilled since.
  mCurrentMaterial = nullptr;
  for (int i = 0; i < kLayerCount; ++i) {
    switch (i) {
      case 2:
        glDisable(GL_BLEND);
        glDisable(GL_ALPHA_TEST);
        break;
      case 3:
        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        glEnable(GL_ALPHA_TEST);
        glAlphaFunc(GL_GREATER, 0.001f);
        break;
      case 5:
        glEnable(GL_BLEND);
        glBlendFunc(GL_ONE_MINUS_DST_ALPHA, GL_ZERO);
        glEnable(GL_ALPHA_TEST);
        glAlphaFunc(GL_GREATER, 0.001f);
        break;
      case 6:
        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        glDisable(GL_ALPHA_TEST);
        break;
      default:
        break;
    }
    const uint8_t* at = mLayerArena[i].get();
    for (uint32_t n = 0; n < mLayerCount[i]; ++n) {
      const cmdBase* cmd = std::launder(reinterpret_cast<const cmdBase*>(at));
      cmd->execute(*this);
      at += cmd->size();
    }
  }
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glEnable(GL_ALPHA_TEST);
  glAlphaFunc(GL_GREATER, 0.0001f);
}
