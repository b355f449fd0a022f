// setParameter by name (float4, float4x4, sampler) through the shader
// manager's current effect, against the direct GL call a caller with a cached
// uniform location would make, measured in the same run on the same context.
#include <GL/glew.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "files/files.h"
#include "shader/shader.h"
#include "support/gl_context.h"

namespace {

// A model effect with the engine-wide names plus filler, so the index holds
// a realistic number of keys.
std::string effectText() {
  std::string t = R"(
float4x4 shWorldMat : WORLD;
float4x4 shVProjMat : WORLDVIEWPROJ;
float4 shAmbient; float4 shLightColor; float4 shKe; float4 shKa; float4 shKd; float4 shKs;
float shShininess; float3 shEyePos; float3 shLightPos; float4 shMqoColor;
sampler2D shBaseTexture = sampler_state { MinFilter = Linear; MagFilter = Linear; WrapS = Repeat; WrapT = Repeat; };
)";
  std::string sum;
  for (int i = 0; i < 24; ++i) {
    t += "float4 filler" + std::to_string(i) + ";\n";
    sum += " + filler" + std::to_string(i);
  }
  t += "void vs() { gl_Position = shVProjMat * shWorldMat * gl_Vertex; gl_TexCoord[0] = gl_MultiTexCoord0; }\n";
  t += "void fs() { gl_FragColor = texture2D(shBaseTexture, gl_TexCoord[0].xy) * (shAmbient + shLightColor"
       " + shKe + shKa + shKd + shKs + shMqoColor + vec4(shEyePos + shLightPos, shShininess)" + sum + "); }\n";
  t += "technique t { pass p { VertexProgram = compile vp vs(); FragmentProgram = compile fp fs(); } }\n";
  return t;
}

template <class F>
double callsPerSecond(F&& body, int calls) {
  double best = 0;
  for (int round = 0; round < 3; ++round) {
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < calls; ++i) body(i);
    glFinish();
    const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (calls / s > best) best = calls / s;
  }
  return best;
}

void report(const char* what, double byName, double direct, const char* peer) {
  std::printf("%-9s setParameter by name: %12.0f calls/s   %-40s %12.0f calls/s   by name costs %.2fx direct\n", what, byName,
              peer, direct, direct / byName);
}

}  // namespace

int main() {
  testing_support::GlContext gl(64, 64);
  if (!gl.ok()) {
    std::fprintf(stderr, "shader_param_bench: no OpenGL context\n");
    return 1;
  }
  const std::string pak = "/tmp/vesper_shader_param_bench.pak";
  const std::string text = effectText();
  std::string error;
  if (!writePack(pak, {{"data\\shader\\bench.cgfx", std::vector<uint8_t>(text.begin(), text.end())}}, error)) {
    std::fprintf(stderr, "shader_param_bench: %s\n", error.c_str());
    return 1;
  }
  if (const char* e = installPackage(std::fopen(pak.c_str(), "rb"))) {
    std::fprintf(stderr, "shader_param_bench: %s\n", e);
    return 1;
  }
  resShader* effect = loadEffect("data\\shader\\bench.cgfx");
  if (!effect || effect->fallback()) {
    std::fprintf(stderr, "shader_param_bench: the effect did not compile\n");
    return 1;
  }
  shaderManager& sm = shaderManager::instance();
  sm.setCurrentEffect(effect);
  effect->setPassState(0);
  GLint program = 0;
  glGetIntegerv(GL_CURRENT_PROGRAM, &program);
  const GLint kd = glGetUniformLocation(static_cast<GLuint>(program), "shKd");
  const GLint world = glGetUniformLocation(static_cast<GLuint>(program), "shWorldMat");
  GLuint tex = 0;
  glGenTextures(1, &tex);
  glBindTexture(GL_TEXTURE_2D, tex);
  const uint8_t texel[4] = {255, 255, 255, 255};
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, texel);

  const int calls = 300000;
  float v[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
  const double f4Name = callsPerSecond([&](int i) { v[0] = static_cast<float>(i & 7); sm.setParameter("shKd", v); }, calls);
  const double f4Direct = callsPerSecond([&](int i) { v[0] = static_cast<float>(i & 7); glUniform4fv(kd, 1, v); }, calls);
  const double m4Name =
      callsPerSecond([&](int i) { v[3] = static_cast<float>(i & 7); sm.setParameter("shWorldMat", v); }, calls);
  const double m4Direct =
      callsPerSecond([&](int i) { v[3] = static_cast<float>(i & 7); glUniformMatrix4fv(world, 1, GL_TRUE, v); }, calls);
  // A managed sampler binds its texture and applies its sampler state; the
  // peer makes exactly those calls with everything known in advance.
  const double sName = callsPerSecond([&](int) { sm.setParameter("shBaseTexture", &tex); }, calls);
  const double sDirect = callsPerSecond(
      [&](int) {
        glActiveTexture(GL_TEXTURE0);
        glBindTexture(GL_TEXTURE_2D, tex);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
        glActiveTexture(GL_TEXTURE0);
      },
      calls);
  // Name lookup alone: a name no parameter has.
  const double miss = callsPerSecond([&](int) { sm.setParameter("notDeclaredAnywhere", v); }, calls);
  effect->resetPassState(0);

  std::printf("renderer: %s\n", reinterpret_cast<const char*>(glGetString(GL_RENDERER)));
  report("float4", f4Name, f4Direct, "glUniform4fv, cached location:");
  report("float4x4", m4Name, m4Direct, "glUniformMatrix4fv, cached location:");
  report("sampler", sName, sDirect, "bind + 4 glTexParameteri, known unit:");
  std::printf("unknown name (lookup only): %12.0f calls/s\n", miss);
  glDeleteTextures(1, &tex);
  releaseEffect(effect);
  closePackage();
  std::remove(pak.c_str());
  return 0;
}
