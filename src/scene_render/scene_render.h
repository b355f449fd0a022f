// Render objects, model and scene-animation renderers, camera and light.
// `cRenderObject` owns the multi-pass effect loop and the engine's standard
// effect parameters; `cMqoRender` draws one model material by material from
// its draw units, whole or object by object under a scene-file object's keys;
// `cMassMqoRender` draws many instances of one model per material and pass;
// `cQdfRender` plays a scene animation file. Frame thread only; everything
// that draws needs the current GL context and a draw context whose matrix
// stack has the model-view matrix selected.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <glm/vec2.hpp>
#include <glm/vec3.hpp>

#include "core/core.h"
#include "formats/formats.h"
#include "model/model.h"
#include "render/matrix_stack.h"
#include "resources/resources.h"

class resShader;

// Sets the show's custom texture bindings on an effect; the demo layer's
// custom textures implement it.
class CustomTextureSource {
 public:
  virtual ~CustomTextureSource() = default;
  // Binds every texture to `effect` (the current effect).
  virtual void apply(resShader* effect) const = 0;
};

// What one line of the show draws with, built by the show for each line and
// given to the renderers (setDrawContext) instead of their reading GL or the
// show's singletons. The drawing code reads it, and changes only the
// matrices and the eye and light, as a scene camera places them.
struct DrawContext {
  // The model-view and projection matrices; not owned. Required to draw.
  MatrixStack* matrices = nullptr;
  // Read into "shEyePos" and "shLightPos".
  glm::vec3 eye{0.0f};
  glm::vec3 light{0.0f};
  // Sub-pixel offset of the anti-aliasing sample being drawn, in pixels of
  // a `viewport`-sized target; a non-positive viewport shifts nothing.
  glm::vec2 jitter{0.0f};
  glm::ivec2 viewport{0};
  // The show's screen size, which the "SCREEN_RATIO" effect values are
  // measured against (1280 x 720 is 1); non-positive when unknown.
  glm::ivec2 screen{0};
  // The effect every model material draws with instead of its own, or null.
  resShader* overrideEffect = nullptr;
  // The custom texture bindings, or null for none. Not owned.
  const CustomTextureSource* customTextures = nullptr;
};

// One vertex of the immediate lists, laid out as GL_T2F_N3F_V3F.
struct ImmediateVertex {
  float s = 0.0f, t = 0.0f;
  float nx = 0.0f, ny = 0.0f, nz = 0.0f;
  float x = 0.0f, y = 0.0f, z = 0.0f;
};
static_assert(sizeof(ImmediateVertex) == 8 * sizeof(float), "interleaved T2F_N3F_V3F");

class cRenderObject : public CoreObject {
  VESPER_DECLARE_DYNAMIC(cRenderObject)
 public:
  cRenderObject();
  virtual ~cRenderObject();

  // Sets pass `pass` of the current effect and the standard parameters on it
  // (matrices, lighting constants, eye and light positions).
  virtual void setPassParameters(uint32_t pass);
  // Without an effect: draw(0) once. Otherwise the effect becomes current and
  // every pass runs setPassParameters, draw, finishPass. Each pass state is
  // set exactly once and reset exactly once.
  virtual void render(float time);
  // Draws and empties the immediate lists, then resets pass `pass` of the
  // current effect.
  virtual void finishPass(uint32_t pass);
  virtual resShader* getEffect() const { return mEffect; }
  // Not a counted reference: the effect must outlive this object.
  virtual void setEffect(resShader* effect) { mEffect = effect; }
  // Geometry of one pass; the base draws nothing.
  virtual void draw(uint32_t pass) { (void)pass; }
  // The context the next draws use (not owned; it must outlive them). A
  // scene renderer hands it on to its model renderers.
  virtual void setDrawContext(DrawContext* context) { mContext = context; }
  // Asserts that one was given.
  DrawContext& drawContext() const;

  // Immediate geometry drawn at the end of the current pass. The lists keep
  // their storage, so a frame that adds no more than an earlier one
  // allocates nothing.
  void addTriangle(const ImmediateVertex& a, const ImmediateVertex& b, const ImmediateVertex& c);
  void addFanVertex(const ImmediateVertex& v);
  void reserveImmediate(size_t triangleVertices, size_t fanVertices);
  size_t triangleVertexCount() const { return mTriangles.size(); }
  size_t fanVertexCount() const { return mFan.size(); }

 private:
  std::vector<ImmediateVertex> mTriangles;
  std::vector<ImmediateVertex> mFan;
  resShader* mEffect = nullptr;
  DrawContext* mContext = nullptr;
};

class cMqoRender : public cRenderObject {
  VESPER_DECLARE_DYNAMIC(cMqoRender)
 public:
  cMqoRender();
  ~cMqoRender() override;

  // Without animation: every material's draw unit. With one: object by
  // object, each under its part's key at `time`, nested by object depth.
  // Nothing without a model.
  void render(float time) override;

  // A non-null `model` replaces the held one (one reference of its own) and
  // its materials' GL texture names and object pivots are looked up once. A
  // non-null `animation` (borrowed; must outlive its use) replaces the old.
  virtual void setModel(resMQO* model, const QdfObject* animation);
  virtual void releaseModel();
  // Passes of the own effect; 0 without one.
  virtual uint32_t passCount() const;
  // Materials of the model; 0 without one.
  virtual uint32_t materialCount() const;
  // Submits the faces of `object` with `material` (what the draw units are
  // compiled from).
  virtual void drawObjectFaces(uint32_t object, uint32_t material);
  // Chooses material `material`'s effect (the line override when one is
  // set), makes it current and sets the textures, the colour with its
  // alpha times `alpha`, TIME_RATE := time and the custom textures. A
  // material with no effect at all leaves the object without effect.
  virtual void setMaterialParameters(uint32_t material, float alpha, float time);

  resMQO* model() const { return mModel.get(); }
  const QdfObject* animation() const { return mAnimation; }

 protected:
  ResourceRef<resMQO> mModel;

 private:
  void drawStatic(float time);
  void drawAnimated(float time);
  void drawMaterialPasses(uint32_t list);

  const QdfObject* mAnimation = nullptr;
  std::vector<uint32_t> mBaseTextures;     // GL names, one per material
  std::vector<uint32_t> mOverlapTextures;  // GL names, one per material
  std::vector<glm::vec3> mPivots;          // named point per object
};

// Many instances of one model: per material and pass, beginMaterial; per
// instance, set the draw context's model-view matrix, bindInstanceMatrices, drawInstance;
// then endMaterial.
class cMassMqoRender : public cMqoRender {
  VESPER_DECLARE_DYNAMIC(cMassMqoRender)
 public:
  virtual void beginMaterial(float time, uint32_t pass, uint32_t material, float alpha);
  virtual void bindInstanceMatrices();
  virtual void drawInstance();
  virtual void endMaterial();

 private:
  uint32_t mMaterial = 0;
  uint32_t mPass = 0;
};

// Perspective frustum of a scene camera (near 0.1, far 150, 16:9 whatever
// the window), shifted by `jitter` pixels of a `viewport`-sized target.
struct CameraFrustum {
  double left = 0.0, right = 0.0, bottom = 0.0, top = 0.0;
  double zNear = 0.1, zFar = 150.0;
};
// `rotationY` is the camera key's rotation y in radians; the vertical field
// of view is that angle (in degrees, factor 180 / 3.141592) plus 30 degrees.
CameraFrustum cameraFrustum(float rotationY, glm::vec2 jitter, glm::ivec2 viewport);
// A symmetric perspective frustum (vertical field of view in degrees, width
// over height) shifted by `jitter` pixels of a `viewport`-sized target; a
// non-positive viewport shifts nothing.
CameraFrustum perspectiveFrustum(double fovDegrees, double aspect, double zNear, double zFar, glm::vec2 jitter,
                                 glm::ivec2 viewport);
// Loads perspectiveFrustum under the context's jitter into its projection
// matrix (identity first), then selects the model-view matrix.
void jitteredPerspective(DrawContext& context, double fovDegrees, double aspect, double zNear, double zFar);
// The largest last key time among the scene's camera objects; 0 without.
float sceneDuration(const QdfScene& scene);

class cQdfRender : public cRenderObject {
  VESPER_DECLARE_DYNAMIC(cQdfRender)
 public:
  cQdfRender();
  ~cQdfRender() override;  // unbinds

  // Holds one reference to `sceneFile` (replacing a bound one) and creates a
  // model renderer for every object of every scene.
  virtual void bindScene(resQDF* sceneFile);
  // Destroys the renderers and releases the file.
  virtual void unbindScene();
  void setDrawContext(DrawContext* context) override;
  // The first scene named exactly `pName`; nothing when there is none.
  virtual void drawSceneByName(const char* pName, float progress);
  virtual void drawScene(uint32_t index, float progress) { drawSceneAt(index, progress, 1); }
  // With a record: copies it over material `material` of the model in
  // `slot` (the model keeps it). Without: restores that material as loaded.
  virtual void modelMaterial(int slot, uint32_t material, const MqoMaterial* record);
  // Draws scene `index` at scene time progress x duration, its objects from
  // index `withCamera` on; with `withCamera` 1 the first object places the
  // camera (projection and view pushed, popped at the end). Objects that do
  // not follow the camera get a fixed view and no depth test, and are drawn
  // only when the camera was placed.
  virtual void drawSceneAt(uint32_t index, float progress, int withCamera);

  resQDF* sceneFile() const { return mSceneFile.get(); }
  uint32_t sceneCount() const { return mSceneCount; }
  // Renderer of object `object` of scene `scene`, or null.
  cMqoRender* objectRenderer(uint32_t scene, uint32_t object) const;

 private:
  ResourceRef<resQDF> mSceneFile;
  DrawContext* mContextForModels = nullptr;  // handed to renderers bindScene creates
  uint32_t mSceneCount = 0;
  std::vector<std::vector<std::unique_ptr<cMqoRender>>> mRenderers;
};

// A file scene's instance; the scene contract every scene class overrides
// selectively. `t` is the progress within the file scene, 0 to 1.
class CSceneQdfDefault : public CoreObject {
  VESPER_DECLARE_DYNAMIC(CSceneQdfDefault)
 public:
  virtual ~CSceneQdfDefault() = default;
  virtual int sceneIndex() const { return index; }
  virtual void setup(cQdfRender* renderer) {}
  virtual void before(cQdfRender* renderer, float t) {}
  // Plays the file scene `name` as animated in the file (nothing without a
  // renderer).
  virtual void draw(cQdfRender* renderer, float t);
  virtual void after(cQdfRender* renderer, float t) {}

  std::string name;
  uint32_t start = 0;
  uint32_t end = 0;
  int index = 0;
};

// The eye position a scene camera last placed (the draw context carries the
// one effects read). (0, 0, 0) at start.
class cameraManager : public Interface<cameraManager> {
  VESPER_DECLARE_DYNAMIC(cameraManager)
 public:
  static cameraManager& instance();
  uint16_t getPriority() const override { return 1; }
  void setPosition(float x, float y, float z) { mPosition = glm::vec3(x, y, z); }
  glm::vec3 position() const { return mPosition; }

 private:
  glm::vec3 mPosition{0.0f};
};

// The light position a scene camera last placed (the draw context carries
// the one effects read). (0, 0, 0) at start.
class lightManager : public Interface<lightManager> {
  VESPER_DECLARE_DYNAMIC(lightManager)
 public:
  static lightManager& instance();
  uint16_t getPriority() const override { return 1; }
  void setPosition(float x, float y, float z) { mPosition = glm::vec3(x, y, z); }
  glm::vec3 position() const { return mPosition; }

 private:
  glm::vec3 mPosition{0.0f};
};
