// Frame time of the sample production (mean and 99th percentile over frames
// spread across the whole show) at 640x360 and 1280x720, without and with
// 4-sample anti-aliasing, against a bare GL loop doing the same number of
// clears, target binds and full-screen passes at the same size, in the same
// run. The counts come from the engine's own frames through a counting layer
// over the GL entry points. Also counts heap allocations per show frame: on
// the first draw of a frame, on a second draw right after it (the steady
// state, which should allocate nothing) and over the timed rounds.
// Reads the sample production's pack from the build tree (or the path given
// as the argument; a second argument "small" runs 640x360 without
// anti-aliasing only, for profiling). Needs a display (Xvfb works).
#include <GL/glew.h>
#include <dlfcn.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

#include "show_run.h"
#include "support/allocation_counter.h"
#include "support/gl_context.h"

namespace {

struct Counts {
  uint32_t clears = 0, binds = 0, passes = 0;          // what the bare loop repeats
  uint32_t programs = 0, uniforms = 0, textures = 0, draws = 0;  // for the profile
};
Counts gCounts;
bool gCounting = false;

template <typename F>
F realEntry(const char* name) {
  return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

// GLEW's entry points are pointers: the originals, and counting stand-ins.
PFNGLBINDFRAMEBUFFEREXTPROC gBindFramebuffer;
PFNGLBINDBUFFERPROC gBindBuffer;
PFNGLUSEPROGRAMPROC gUseProgram;
PFNGLUNIFORM1FVPROC gUniform1fv;
PFNGLUNIFORM2FVPROC gUniform2fv;
PFNGLUNIFORM3FVPROC gUniform3fv;
PFNGLUNIFORM4FVPROC gUniform4fv;
PFNGLUNIFORMMATRIX4FVPROC gUniformMatrix4fv;

void countUniform() {
  if (gCounting) ++gCounts.uniforms;
}
void GLAPIENTRY countingBindFramebuffer(GLenum target, GLuint fb) {
  if (gCounting) ++gCounts.binds;
  gBindFramebuffer(target, fb);
}
// Full-screen passes draw from a buffer object; scenes from client memory.
GLuint gArrayBuffer = 0;
void GLAPIENTRY trackingBindBuffer(GLenum target, GLuint buffer) {
  if (target == GL_ARRAY_BUFFER) gArrayBuffer = buffer;
  gBindBuffer(target, buffer);
}
void GLAPIENTRY countingUseProgram(GLuint p) {
  if (gCounting) ++gCounts.programs;
  gUseProgram(p);
}
void GLAPIENTRY countingUniform1fv(GLint l, GLsizei n, const GLfloat* v) { countUniform(), gUniform1fv(l, n, v); }
void GLAPIENTRY countingUniform2fv(GLint l, GLsizei n, const GLfloat* v) { countUniform(), gUniform2fv(l, n, v); }
void GLAPIENTRY countingUniform3fv(GLint l, GLsizei n, const GLfloat* v) { countUniform(), gUniform3fv(l, n, v); }
void GLAPIENTRY countingUniform4fv(GLint l, GLsizei n, const GLfloat* v) { countUniform(), gUniform4fv(l, n, v); }
void GLAPIENTRY countingUniformMatrix4fv(GLint l, GLsizei n, GLboolean t, const GLfloat* v) {
  countUniform(), gUniformMatrix4fv(l, n, t, v);
}

void installCountingLayer() {
  gBindFramebuffer = glBindFramebufferEXT, glBindFramebufferEXT = countingBindFramebuffer;
  gBindBuffer = glBindBuffer, glBindBuffer = trackingBindBuffer;
  gUseProgram = glUseProgram, glUseProgram = countingUseProgram;
  gUniform1fv = glUniform1fv, glUniform1fv = countingUniform1fv;
  gUniform2fv = glUniform2fv, glUniform2fv = countingUniform2fv;
  gUniform3fv = glUniform3fv, glUniform3fv = countingUniform3fv;
  gUniform4fv = glUniform4fv, glUniform4fv = countingUniform4fv;
  gUniformMatrix4fv = glUniformMatrix4fv, glUniformMatrix4fv = countingUniformMatrix4fv;
}

}  // namespace

// The GL 1.1 entry points are library symbols: these definitions take the
// engine's calls and pass them on. A full-screen pass is a draw from a
// buffer object or between glBegin and glEnd; the scenes draw from client
// memory.
extern "C" {
void GLAPIENTRY glClear(GLbitfield mask) {
  static const auto real = realEntry<void(GLAPIENTRY*)(GLbitfield)>("glClear");
  if (gCounting) ++gCounts.clears;
  real(mask);
}
void GLAPIENTRY glBegin(GLenum mode) {
  static const auto real = realEntry<void(GLAPIENTRY*)(GLenum)>("glBegin");
  if (gCounting) ++gCounts.passes;
  real(mode);
}
void GLAPIENTRY glBindTexture(GLenum target, GLuint name) {
  static const auto real = realEntry<void(GLAPIENTRY*)(GLenum, GLuint)>("glBindTexture");
  if (gCounting) ++gCounts.textures;
  real(target, name);
}
void GLAPIENTRY glDrawArrays(GLenum mode, GLint first, GLsizei count) {
  static const auto real = realEntry<void(GLAPIENTRY*)(GLenum, GLint, GLsizei)>("glDrawArrays");
  if (gCounting) ++(gArrayBuffer ? gCounts.passes : gCounts.draws);
  real(mode, first, count);
}
}

namespace {

constexpr int kFrames = 40;       // spread evenly over the show
constexpr uint32_t kShowMs = 119040;
constexpr int kRounds = 3;        // alternating engine and bare; the first warms up

double msSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

// Full-screen passes of a one-texture program through a few float targets.
class BareLoop {
 public:
  BareLoop(int w, int h) {
    const char* vs = "void main() { gl_Position = gl_ModelViewProjectionMatrix * gl_Vertex;"
                     " gl_TexCoord[0] = gl_MultiTexCoord0; }";
    const char* fs = "uniform sampler2D src; void main() { gl_FragColor = texture2D(src, gl_TexCoord[0].xy); }";
    mProgram = glCreateProgram();
    for (auto [type, text] : {std::pair{GL_VERTEX_SHADER, vs}, std::pair{GL_FRAGMENT_SHADER, fs}}) {
      const GLuint s = glCreateShader(type);
      glShaderSource(s, 1, &text, nullptr);
      glCompileShader(s);
      glAttachShader(mProgram, s);
      glDeleteShader(s);
    }
    glLinkProgram(mProgram);
    const float quad[4][4] = {{0, 1, 0, 1}, {0, 0, 0, 0}, {1, 1, 1, 1}, {1, 0, 1, 0}};  // x, y, s, t
    glGenBuffers(1, &mQuad);
    glBindBuffer(GL_ARRAY_BUFFER, mQuad);
    glBufferData(GL_ARRAY_BUFFER, sizeof quad, quad, GL_STATIC_DRAW);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    glGenTextures(kTargets, mTextures);
    glGenFramebuffersEXT(kTargets, mFramebuffers);
    for (int i = 0; i < kTargets; ++i) {
      glBindTexture(GL_TEXTURE_2D, mTextures[i]);
      glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
      glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA16F_ARB, w, h, 0, GL_RGBA, GL_FLOAT, nullptr);
      glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, mFramebuffers[i]);
      glFramebufferTexture2DEXT(GL_FRAMEBUFFER_EXT, GL_COLOR_ATTACHMENT0_EXT, GL_TEXTURE_2D, mTextures[i], 0);
    }
    glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);
    glBindTexture(GL_TEXTURE_2D, 0);
  }
  ~BareLoop() {
    glDeleteFramebuffersEXT(kTargets, mFramebuffers);
    glDeleteTextures(kTargets, mTextures);
    glDeleteProgram(mProgram);
    glDeleteBuffers(1, &mQuad);
  }
  BareLoop(const BareLoop&) = delete;
  BareLoop& operator=(const BareLoop&) = delete;

  // One frame of `c`'s clears, binds and passes: pass i draws target
  // (i + 1) into target i, bound before it and unbound after while binds
  // remain; the clears are spread between the passes.
  void frame(const Counts& c) const {
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, 1, 0, 1, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glUseProgram(mProgram);
    glBindBuffer(GL_ARRAY_BUFFER, mQuad);
    glEnableClientState(GL_VERTEX_ARRAY);
    glVertexPointer(2, GL_FLOAT, 4 * sizeof(float), nullptr);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glTexCoordPointer(2, GL_FLOAT, 4 * sizeof(float), reinterpret_cast<const void*>(2 * sizeof(float)));
    uint32_t binds = 0, clears = 0;
    for (uint32_t p = 0; p < c.passes; ++p) {
      for (; clears < c.clears && clears * c.passes <= p * c.clears; ++clears) {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
      }
      if (binds < c.binds) glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, mFramebuffers[p % kTargets]), ++binds;
      glBindTexture(GL_TEXTURE_2D, mTextures[(p + 1) % kTargets]);
      glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
      if (binds < c.binds) glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0), ++binds;
    }
    for (; clears < c.clears; ++clears) glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    for (; binds < c.binds; ++binds) glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);
    glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);
    glBindTexture(GL_TEXTURE_2D, 0);
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    glDisableClientState(GL_VERTEX_ARRAY);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    glUseProgram(0);
  }

 private:
  static constexpr int kTargets = 4;
  GLuint mProgram = 0;
  GLuint mQuad = 0;
  GLuint mTextures[kTargets] = {};
  GLuint mFramebuffers[kTargets] = {};
};

struct Summary {
  double mean = 0, p99 = 0;
};
Summary summarise(std::vector<double> ms) {
  Summary s;
  if (ms.empty()) return s;
  for (double m : ms) s.mean += m;
  s.mean /= static_cast<double>(ms.size());
  std::sort(ms.begin(), ms.end());
  s.p99 = ms[std::min(ms.size() - 1, static_cast<size_t>(0.99 * static_cast<double>(ms.size())))];
  return s;
}

bool runCase(int w, int h, int samples) {
  show_bench::Show show(w, h, samples);
  if (!show.start()) {
    std::fprintf(stderr, "show_frame_bench: the show did not start at %dx%d\n", w, h);
    return false;
  }
  uint32_t times[kFrames];
  for (int i = 0; i < kFrames; ++i) times[i] = static_cast<uint32_t>(kShowMs * (i + 0.5) / kFrames);
  std::vector<Counts> counts(kFrames);
  std::vector<double> engineMs, bareMs;
  // Heap allocations: first draws, second draws right after them, timed draws.
  struct Allocations {
    size_t sum = 0, worst = 0;
    void add(size_t n) { sum += n, worst = std::max(worst, n); }
  } firstDraw, secondDraw, timed;
  auto draw = [&](uint32_t t) {
    const size_t before = testing_support::allocationCount();
    show.frame(t);
    return testing_support::allocationCount() - before;
  };
  BareLoop bare(w, h);
  for (int round = 0; round < kRounds; ++round) {
    for (int i = 0; i < kFrames; ++i) {
      if (round == 0) {
        // The first draw of a frame may compile what its states need; the
        // counts come from the second.
        firstDraw.add(draw(times[i]));
        gCounts = Counts();
        gCounting = true;
        secondDraw.add(draw(times[i]));
        gCounting = false;
        counts[i] = gCounts;
        continue;
      }
      glFinish();
      const auto start = std::chrono::steady_clock::now();
      const size_t allocated = draw(times[i]);
      glFinish();
      engineMs.push_back(msSince(start));
      timed.add(allocated);
    }
    if (round == 0) continue;
    for (int i = 0; i < kFrames; ++i) {
      glFinish();
      const auto start = std::chrono::steady_clock::now();
      bare.frame(counts[i]);
      glFinish();
      bareMs.push_back(msSince(start));
    }
  }
  Counts sum;
  for (const Counts& c : counts) {
    sum.clears += c.clears, sum.binds += c.binds, sum.passes += c.passes, sum.programs += c.programs;
    sum.uniforms += c.uniforms, sum.textures += c.textures, sum.draws += c.draws;
  }
  const Summary e = summarise(engineMs), b = summarise(bareMs);
  std::printf("%4dx%-4d FSAA %d  show mean %7.2f p99 %7.2f ms   bare mean %7.2f p99 %7.2f ms   ratio mean %.2fx "
              "p99 %.2fx\n",
              w, h, samples, e.mean, e.p99, b.mean, b.p99, e.mean / b.mean, e.p99 / b.p99);
  const double n = kFrames;
  std::printf("           per frame: %.1f clears, %.1f target binds, %.1f full-screen passes; %.1f program switches, "
              "%.1f uniform uploads, %.1f texture binds, %.1f scene draw calls\n",
              sum.clears / n, sum.binds / n, sum.passes / n, sum.programs / n, sum.uniforms / n, sum.textures / n,
              sum.draws / n);
  const double timedFrames = static_cast<double>(engineMs.size());
  std::printf("           heap allocations per frame: steady state %.2f (worst %zu); first draw %.2f (worst %zu); "
              "timed draws %.2f (worst %zu)\n",
              static_cast<double>(secondDraw.sum) / n, secondDraw.worst, static_cast<double>(firstDraw.sum) / n,
              firstDraw.worst, static_cast<double>(timed.sum) / timedFrames, timed.worst);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  const char* pak = argc > 1 ? argv[1] : VESPER_BENCH_PACK;
  testing_support::GlContext gl(1280, 720);
  if (!gl.ok()) {
    std::fprintf(stderr, "show_frame_bench: no OpenGL context\n");
    return 1;
  }
  if (!show_bench::installProduction(pak, "show_frame_bench")) return 1;
  installCountingLayer();
  std::printf("%d frames spread over the show, %d timed rounds each (engine and bare loop alternating)\n", kFrames,
              kRounds - 1);
  const bool small = argc > 2 && std::strcmp(argv[2], "small") == 0;
  const int sizes[2][2] = {{640, 360}, {1280, 720}};
  for (const auto& size : sizes) {
    for (int samples : {0, 4}) {
      if (small && (size[0] != 640 || samples != 0)) continue;
      if (!runCase(size[0], size[1], samples)) return 1;
    }
  }
  return 0;
}
