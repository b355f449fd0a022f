// The CPU matrix stack against GL's own fixed-function matrices: every
// operation the drawing code uses, alone and in the sequences the scene
// renderers run, must leave exactly the values GL (and GLU) compute, and GL
// must hold them afterwards.
#include <GL/glew.h>
#include <GL/glu.h>
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "render/matrix_stack.h"
#include "support/gl_context.h"
#include "support/support.h"

namespace {

// One step, done once on the stack and once on GL directly.
struct Step {
  std::function<void(MatrixStack&)> stack;
  std::function<void()> gl;
};

Step translate(float x, float y, float z) {
  return {[=](MatrixStack& s) { s.translate(x, y, z); }, [=] { glTranslatef(x, y, z); }};
}
Step rotate(float a, float x, float y, float z) {
  return {[=](MatrixStack& s) { s.rotate(a, x, y, z); }, [=] { glRotatef(a, x, y, z); }};
}
Step scale(float x, float y, float z) {
  return {[=](MatrixStack& s) { s.scale(x, y, z); }, [=] { glScalef(x, y, z); }};
}
Step frustum(double l, double r, double b, double t, double n, double f) {
  return {[=](MatrixStack& s) { s.frustum(l, r, b, t, n, f); }, [=] { glFrustum(l, r, b, t, n, f); }};
}
Step ortho(double l, double r, double b, double t, double n, double f) {
  return {[=](MatrixStack& s) { s.ortho(l, r, b, t, n, f); }, [=] { glOrtho(l, r, b, t, n, f); }};
}
Step perspective(double fov, double aspect, double n, double f) {
  return {[=](MatrixStack& s) { s.perspective(fov, aspect, n, f); }, [=] { gluPerspective(fov, aspect, n, f); }};
}
Step lookAt(double ex, double ey, double ez, double cx, double cy, double cz) {
  return {[=](MatrixStack& s) { s.lookAt(ex, ey, ez, cx, cy, cz, 0.0, 1.0, 0.0); },
          [=] { gluLookAt(ex, ey, ez, cx, cy, cz, 0.0, 1.0, 0.0); }};
}
Step mode(MatrixStack::Mode m) {
  return {[=](MatrixStack& s) { s.matrixMode(m); },
          [=] { glMatrixMode(m == MatrixStack::ModelView ? GL_MODELVIEW : GL_PROJECTION); }};
}
Step identity() {
  return {[](MatrixStack& s) { s.loadIdentity(); }, [] { glLoadIdentity(); }};
}
Step push() {
  return {[](MatrixStack& s) { s.push(); }, [] { glPushMatrix(); }};
}
Step pop() {
  return {[](MatrixStack& s) { s.pop(); }, [] { glPopMatrix(); }};
}

std::string differences(const char* what, const float* expected, const float* actual) {
  std::string out;
  for (int i = 0; i < 16; ++i) {
    // == on purpose: bit-for-bit but for the sign of zero.
    if (expected[i] != actual[i]) {
      out += std::string(what) + "[" + std::to_string(i) + "] " + std::to_string(actual[i]) + " is not " +
             std::to_string(expected[i]) + "; ";
    }
  }
  return out;
}

TEST(MatrixStack, EveryOperationLeavesExactlyWhatGlComputes) {
  testing_support::GlContext gl;
  if (!gl.ok()) SKIP_WITHOUT_DISPLAY("no GL context");
  using M = MatrixStack;
  const std::vector<std::pair<const char*, std::vector<Step>>> cases = {
      {"translate", {translate(0.3f, -1.7f, 12.25f), translate(-0.1f, 0.2f, 0.7f)}},
      {"rotations about each axis, both signs",
       {rotate(33.3f, 0, 0, 1), rotate(-71.9f, 0, 1, 0), rotate(12.5f, 1, 0, 0), rotate(190.0f, 0, 0, -1),
        rotate(47.0f, 0, -1, 0), rotate(-3.3f, -1, 0, 0)}},
      {"rotation about any other axis", {rotate(25.0f, 1, 2, 3), rotate(-80.0f, 0.5f, 0, -0.25f)}},
      {"scale", {rotate(20.0f, 0, 1, 0), scale(1.5f, 0.25f, -2.0f)}},
      {"a scene camera",
       {mode(M::Projection), identity(), frustum(-0.0931, 0.0847, -0.0502, 0.0498, 0.1, 150.0),
        mode(M::ModelView), identity(), rotate(0.37f * 57.29578f, 0, 0, 1), lookAt(1.5, 2.25, -8.0, 0.1, 0.3, 1.7)}},
      {"a fixed view", {identity(), lookAt(0.0, 0.0, -1.0, 0.0, 0.0, 1.0)}},
      {"a perspective and a look from the z axis",
       {mode(M::Projection), identity(), perspective(45.0, 1.3333333333333333, 1.0, 1000.0), mode(M::ModelView),
        identity(), lookAt(0.0, 0.0, 300.0, 0.0, 0.0, 0.0)}},
      {"nested objects",
       {lookAt(3.0, 4.0, 5.0, 0.0, 0.0, 0.0), push(), translate(0.5f, 0.25f, -0.75f), rotate(40.0f, 0, 0, 1),
        rotate(-15.0f, 0, 1, 0), rotate(-65.0f, 1, 0, 0), scale(1.0f, 2.0f, 0.5f), translate(-0.5f, -0.25f, 0.75f),
        push(), translate(1.0f, 0.0f, 0.0f), rotate(5.5f, 0, 0, 1), pop(), push(), scale(3, 3, 3)}},
      {"an orthographic view", {mode(M::Projection), identity(), ortho(-4, 4, -2.25, 2.25, -100, 100),
                                 mode(M::ModelView), translate(0.3f, 0.5f, 0.0f)}},
      {"pops restore", {push(), translate(1, 2, 3), pop(), mode(M::Projection), push(), scale(2, 2, 2), pop()}},
  };
  for (const auto& [name, steps] : cases) {
    MatrixStack stack;
    stack.loadIntoGl();
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    for (const Step& step : steps) step.gl();
    float expected[2][16];
    glGetFloatv(GL_MODELVIEW_MATRIX, expected[0]);
    glGetFloatv(GL_PROJECTION_MATRIX, expected[1]);
    // Leave GL's stacks as found before the stack's own run.
    GLint depth[2] = {1, 1};
    glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &depth[0]);
    glGetIntegerv(GL_PROJECTION_STACK_DEPTH, &depth[1]);
    glMatrixMode(GL_MODELVIEW);
    for (GLint i = 1; i < depth[0]; ++i) glPopMatrix();
    glMatrixMode(GL_PROJECTION);
    for (GLint i = 1; i < depth[1]; ++i) glPopMatrix();

    for (const Step& step : steps) step.stack(stack);
    EXPECT_EQ(differences("model-view", expected[0], &stack.modelView()[0][0]) +
                  differences("projection", expected[1], &stack.projection()[0][0]),
              "")
        << name;
    const StateMatrices state = stack.stateMatrices();
    EXPECT_EQ(state.modelView, &stack.modelView()[0][0]) << name;
    EXPECT_EQ(state.projection, &stack.projection()[0][0]) << name;
    // GL holds the stack's values: the fixed-function drawing sees them.
    float loaded[2][16];
    glGetFloatv(GL_MODELVIEW_MATRIX, loaded[0]);
    glGetFloatv(GL_PROJECTION_MATRIX, loaded[1]);
    EXPECT_EQ(differences("GL model-view", expected[0], loaded[0]) +
                  differences("GL projection", expected[1], loaded[1]),
              "")
        << name;
    glMatrixMode(GL_MODELVIEW);
  }
}

}  // namespace
