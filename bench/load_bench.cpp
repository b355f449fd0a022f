// Launch to the first Play frame of the sample production, broken down by
// resource kind, against the work no loader can avoid, measured in the same
// run: reading the pack's bytes, decoding its images with stb_image alone,
// and compiling and linking the same GLSL programs the effects built, each
// then drawing one small quad (a software renderer compiles a program's
// pixel code at its first draw, which the show's first frames pay too).
// Mesa's shader cache is off so both compile for real. Reads the sample
// production's pack from the build tree (or the path given as the
// argument). Needs a display (Xvfb works).
#include <GL/glew.h>
#include <stb/stb_image.h>

#include <strings.h>

#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "show_run.h"
#include "support/gl_context.h"

namespace {

double msSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

// The shader sources of every program the engine links, captured through
// GLEW's entry point.
struct LinkedProgram {
  std::vector<std::pair<GLenum, std::string>> shaders;
};
std::vector<LinkedProgram> gLinked;
PFNGLLINKPROGRAMPROC gLinkProgram;

void GLAPIENTRY capturingLinkProgram(GLuint program) {
  GLuint attached[8];
  GLsizei count = 0;
  glGetAttachedShaders(program, 8, &count, attached);
  LinkedProgram linked;
  for (GLsizei i = 0; i < count; ++i) {
    GLint type = 0, length = 0;
    glGetShaderiv(attached[i], GL_SHADER_TYPE, &type);
    glGetShaderiv(attached[i], GL_SHADER_SOURCE_LENGTH, &length);
    std::string text(static_cast<size_t>(length > 0 ? length : 1), '\0');
    glGetShaderSource(attached[i], length, nullptr, text.data());
    text.resize(std::strlen(text.c_str()));
    linked.shaders.emplace_back(static_cast<GLenum>(type), std::move(text));
  }
  gLinked.push_back(std::move(linked));
  gLinkProgram(program);
}

double readPackMs(const char* pak) {
  const auto start = std::chrono::steady_clock::now();
  std::FILE* fp = std::fopen(pak, "rb");
  if (fp == nullptr) return 0.0;
  std::vector<char> bytes(1 << 20);
  while (std::fread(bytes.data(), 1, bytes.size(), fp) == bytes.size()) {
  }
  std::fclose(fp);
  return msSince(start);
}

bool isImage(const std::string& name) {
  const size_t dot = name.rfind('.');
  if (dot == std::string::npos) return false;
  std::string ext = name.substr(dot + 1);
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ext == "png" || ext == "jpg" || ext == "jpeg" || ext == "bmp" || ext == "tga" || ext == "gif";
}

// Decodes every image entry stb_image reads; `skipped` counts the others
// (DDS, which it does not read).
double decodeImagesMs(int& decoded, int& skipped) {
  double ms = 0.0;
  for (const PackEntry& e : packEntries()) {
    if (!isImage(e.name)) {
      const size_t n = std::strlen(e.name);
      if (n > 4 && strcasecmp(e.name + n - 4, ".dds") == 0) ++skipped;
      continue;
    }
    CoreFile file(e.name, MODE_READ);
    std::vector<unsigned char> bytes(file.getSize());
    file.read(bytes.data(), static_cast<int32_t>(bytes.size()));
    const auto start = std::chrono::steady_clock::now();
    int w = 0, h = 0, channels = 0;
    unsigned char* pixels =
        stbi_load_from_memory(bytes.data(), static_cast<int>(bytes.size()), &w, &h, &channels, 4);
    ms += msSince(start);
    if (pixels) ++decoded;
    stbi_image_free(pixels);
  }
  return ms;
}

// A 16x16 half-float target, the format the show draws its passes into.
class SmallTarget {
 public:
  SmallTarget() {
    glGenTextures(1, &mTexture);
    glBindTexture(GL_TEXTURE_2D, mTexture);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA16F_ARB, 16, 16, 0, GL_RGBA, GL_FLOAT, nullptr);
    glBindTexture(GL_TEXTURE_2D, 0);
    glGenFramebuffersEXT(1, &mFramebuffer);
    glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, mFramebuffer);
    glFramebufferTexture2DEXT(GL_FRAMEBUFFER_EXT, GL_COLOR_ATTACHMENT0_EXT, GL_TEXTURE_2D, mTexture, 0);
    glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);
  }
  ~SmallTarget() {
    glDeleteFramebuffersEXT(1, &mFramebuffer);
    glDeleteTextures(1, &mTexture);
  }
  SmallTarget(const SmallTarget&) = delete;
  SmallTarget& operator=(const SmallTarget&) = delete;
  GLuint framebuffer() const { return mFramebuffer; }

 private:
  GLuint mTexture = 0, mFramebuffer = 0;
};

double compileProgramsMs(const std::vector<LinkedProgram>& programs) {
  SmallTarget target;
  glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, target.framebuffer());
  glViewport(0, 0, 16, 16);
  glDisable(GL_DEPTH_TEST);
  glFinish();
  const auto start = std::chrono::steady_clock::now();
  for (const LinkedProgram& linked : programs) {
    const GLuint program = glCreateProgram();
    for (const auto& [type, text] : linked.shaders) {
      const GLuint shader = glCreateShader(type);
      const char* source = text.c_str();
      glShaderSource(shader, 1, &source, nullptr);
      glCompileShader(shader);
      glAttachShader(program, shader);
      glDeleteShader(shader);
    }
    gLinkProgram(program);
    GLint ok = 0;
    glGetProgramiv(program, GL_LINK_STATUS, &ok);
    if (ok) {
      glUseProgram(program);
      glBegin(GL_TRIANGLE_STRIP);
      glVertex2f(-1, -1), glVertex2f(1, -1), glVertex2f(-1, 1), glVertex2f(1, 1);
      glEnd();
      glUseProgram(0);
    }
    glDeleteProgram(program);
  }
  glFinish();
  const double ms = msSince(start);
  glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);
  return ms;
}

double definitionsMs() {
  const auto start = std::chrono::steady_clock::now();
  for (const char* path : {kSceneLineDefinePath, kQdfDefinePath, kPostEffectDefinePath, kCustomTextureDefinePath}) {
    loadDefinitionDocument(path);
  }
  return msSince(start);
}

}  // namespace

int main(int argc, char** argv) {
  const char* pak = argc > 1 ? argv[1] : VESPER_BENCH_PACK;
  setenv("MESA_SHADER_CACHE_DISABLE", "true", 1);
  testing_support::GlContext gl(640, 360);
  if (!gl.ok()) {
    std::fprintf(stderr, "load_bench: no OpenGL context\n");
    return 1;
  }
  gLinkProgram = glLinkProgram, glLinkProgram = capturingLinkProgram;
  resourceManager::instance().setLoadTiming(true);

  const auto launch = std::chrono::steady_clock::now();
  if (!show_bench::installProduction(pak, "load_bench")) return 1;
  double totalMs = 0.0;
  double stepMs[show_bench::Show::kStartSteps] = {};
  {
    show_bench::Show show(640, 360, 0);
    if (!show.start(stepMs)) {
      std::fprintf(stderr, "load_bench: the show did not start\n");
      return 1;
    }
    glFinish();
    totalMs = msSince(launch);
  }
  const std::vector<resourceManager::LoadTime> kinds = resourceManager::instance().loadTimes();
  resourceManager::instance().setLoadTiming(false);

  const double definitions = definitionsMs();
  const double packMs = readPackMs(pak);
  int decoded = 0, skipped = 0;
  const double imagesMs = decodeImagesMs(decoded, skipped);
  const double programsMs = compileProgramsMs(gLinked);
  const double peerMs = packMs + imagesMs + programsMs;

  std::printf("launch to the first Play frame (640x360, no anti-aliasing): %.1f ms\n", totalMs);
  double accounted = definitions;
  for (const resourceManager::LoadTime& k : kinds) {
    std::printf("  %-22s %8.1f ms  %4u loads\n", k.kind.c_str(), k.seconds * 1000.0, k.count);
    accounted += k.seconds * 1000.0;
  }
  std::printf("  %-22s %8.1f ms  (the four documents parsed again)\n", "definitions", definitions);
  std::printf("  %-22s %8.1f ms  (targets, scene set-up, first frames)\n", "other", totalMs - accounted);
  std::printf("by step (resource loads included):\n");
  for (int i = 0; i < show_bench::Show::kStartSteps; ++i) {
    std::printf("  %-40s %8.1f ms\n", show_bench::Show::kStepNames[i], stepMs[i]);
  }
  std::printf("unavoidable work: %.1f ms = pack bytes %.1f + stb_image decode %.1f (%d images; %d DDS not "
              "counted) + GLSL compile, link and one small draw %.1f (%zu programs)\n",
              peerMs, packMs, imagesMs, decoded, skipped, programsMs, gLinked.size());
  std::printf("ratio %.2fx\n", totalMs / peerMs);
  return 0;
}
