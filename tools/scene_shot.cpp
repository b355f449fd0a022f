// scene-shot: draws one file scene of a scene animation file from a pack, as
// its scene class would draw it in the show, at a few progress values, and
// writes each picture as a PNG. A production author's preview: it runs
// without the timeline and the post-effect chain, so it shows one line's
// picture (colours above 1 clipped).
#include <GL/glew.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "formats/formats.h"
#include "files/files.h"
#include "resources/resources.h"
#include "scene_render/scene_render.h"
#include "shader/shader.h"
#include "support/gl_context.h"
#include "texture/texture.h"

namespace {

const char kUsage[] =
    "usage: scene-shot PACK SCENEFILE SCENE OUTPREFIX [--size WxH] [--override EFFECT]\n"
    "                  [--bind SAMPLER=TEXTURE]... [--class] PROGRESS...\n"
    "Draws file scene SCENE of SCENEFILE (a pack name, e.g. data\\scene\\a.qdf) at each\n"
    "PROGRESS (0 to 1) as the default scene class draws it, and writes\n"
    "OUTPREFIX-<n>.png. --class draws it with the scene class registered for SCENE\n"
    "instead. --bind gives an effect sampler a texture (as the custom texture list\n"
    "does); --override draws every material with EFFECT (as a line's override\n"
    "effect does).\n";

// The show's hooks, answered from the command line.
class PreviewHooks : public RenderHooks {
 public:
  resShader* lineOverrideEffect() override { return override_; }
  void applyCustomTextures(resShader* effect) override {
    if (!effect) return;
    for (auto& [sampler, texture] : bindings) {
      const uint32_t name = textureManager::instance().glName(texture->texture());
      effect->setParameter(sampler.c_str(), &name);
    }
  }
  glm::ivec2 viewportSize() override { return size; }

  resShader* override_ = nullptr;
  std::vector<std::pair<std::string, resTexture*>> bindings;
  glm::ivec2 size{640, 360};
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 6) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  const char* packPath = argv[1];
  const std::string sceneFile = argv[2], sceneName = argv[3], prefix = argv[4];
  int width = 640, height = 360;
  std::string overrideEffect;
  std::vector<std::pair<std::string, std::string>> binds;
  std::vector<float> progresses;
  bool useClass = false;
  for (int i = 5; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--size" && i + 1 < argc) {
      std::sscanf(argv[++i], "%dx%d", &width, &height);
    } else if (a == "--class") {
      useClass = true;
    } else if (a == "--override" && i + 1 < argc) {
      overrideEffect = argv[++i];
    } else if (a == "--bind" && i + 1 < argc) {
      const std::string b = argv[++i];
      const size_t eq = b.find('=');
      if (eq == std::string::npos) {
        std::fputs(kUsage, stderr);
        return 2;
      }
      binds.emplace_back(b.substr(0, eq), b.substr(eq + 1));
    } else {
      progresses.push_back(std::strtof(a.c_str(), nullptr));
    }
  }
  testing_support::GlContext gl(width, height);
  if (!gl.ok()) {
    std::fputs("scene-shot: no OpenGL context\n", stderr);
    return 1;
  }
  std::FILE* fp = std::fopen(packPath, "rb");
  if (!fp) {
    std::fprintf(stderr, "scene-shot: %s: cannot open\n", packPath);
    return 1;
  }
  if (const char* error = installPackage(fp)) {
    std::fprintf(stderr, "scene-shot: %s: %s\n", packPath, error);
    return 1;
  }
  PreviewHooks hooks;
  hooks.size = {width, height};
  std::vector<ResourceRef<resTexture>> textures;
  for (const auto& [sampler, path] : binds) {
    textures.push_back(ResourceRef<resTexture>::load(path.c_str()));
    if (textures.back()) hooks.bindings.emplace_back(sampler, textures.back().get());
  }
  ResourceRef<resShader> override;
  if (!overrideEffect.empty()) {
    override = ResourceRef<resShader>::load(overrideEffect.c_str());
    hooks.override_ = override.get();
  }
  setRenderHooks(&hooks);

  auto file = ResourceRef<resQDF>::load(sceneFile.c_str());
  if (!file) {
    std::fprintf(stderr, "scene-shot: %s: does not load\n", sceneFile.c_str());
    return 1;
  }
  int index = -1;
  for (size_t i = 0; i < file->scenes().size(); ++i)
    if (file->scenes()[i].name == sceneName) index = static_cast<int>(i);
  if (index < 0) {
    std::fprintf(stderr, "scene-shot: %s: no scene '%s'\n", sceneFile.c_str(), sceneName.c_str());
    return 1;
  }
  auto renderer = std::make_unique<cQdfRender>();
  renderer->bindScene(file.get());
  const std::string className = "CSceneQdf_" + sceneName;
  std::unique_ptr<CSceneQdfDefault> scene;
  const CoreRuntimeClass* cls = useClass ? CoreRuntimeClass::findClass(className.c_str()) : nullptr;
  if (cls) scene.reset(static_cast<CSceneQdfDefault*>(cls->createObject()));
  if (!scene) scene = std::make_unique<CSceneQdfDefault>();
  scene->name = sceneName;
  scene->index = index;
  scene->setup(renderer.get());
  std::printf("%s: %s\n", sceneName.c_str(), cls ? className.c_str() : "default drawing");

  glViewport(0, 0, width, height);
  std::vector<uint8_t> flipped(static_cast<size_t>(width) * height * 4);
  for (size_t n = 0; n < progresses.size(); ++n) {
    const float t = progresses[n];
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glEnable(GL_DEPTH_TEST);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    scene->before(renderer.get(), t);
    if (cls)
      scene->draw(renderer.get(), t);
    else
      renderer->drawSceneByName(sceneName.c_str(), t);
    scene->after(renderer.get(), t);
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glFinish();
    const std::vector<uint8_t> pixels = gl.readPixels(0, 0, width, height);
    const size_t stride = static_cast<size_t>(width) * 4;
    for (int y = 0; y < height; ++y)
      std::copy_n(&pixels[static_cast<size_t>(height - 1 - y) * stride], stride, &flipped[static_cast<size_t>(y) * stride]);
    PngImage image;
    image.pixels = flipped.data();
    image.width = static_cast<uint32_t>(width);
    image.height = static_cast<uint32_t>(height);
    image.stride = stride;
    image.description = "scene-shot";
    std::string reason;
    const std::string out = prefix + "-" + std::to_string(n) + ".png";
    if (!writePngFile(out.c_str(), image, reason)) {
      std::fprintf(stderr, "scene-shot: %s: %s\n", out.c_str(), reason.c_str());
      return 1;
    }
  }
  scene.reset();
  renderer.reset();
  setRenderHooks(nullptr);
  return 0;
}
