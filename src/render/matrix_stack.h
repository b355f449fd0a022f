// The show's model-view and projection matrices, kept on the CPU: the one
// source effects take their state matrices from (no glGet on the frame
// path), loaded into GL with glLoadMatrixf after each change for the
// fixed-function drawing that still reads GL's. Each operation computes in
// float exactly what the GL driver's and GLU's own do, so drawing code that
// moves from GL's stack onto this one draws the same picture. Frame thread
// only; needs the current GL context.
#pragma once

#include <cstddef>

#include <glm/mat4x4.hpp>

#include "shader/shader.h"

class MatrixStack {
 public:
  enum Mode { ModelView, Projection };
  static constexpr size_t kDepth = 32;  // per mode, as GL guarantees for the model-view

  // Both identity, model-view selected; GL is not touched.
  MatrixStack();

  // Selects the matrix the following operations change, in GL too (each
  // change also selects it there again).
  void matrixMode(Mode mode);
  Mode mode() const { return mMode; }
  // Pushing past kDepth or popping the last level asserts.
  void push();
  void pop();
  void loadIdentity();
  void translate(float x, float y, float z);
  // Degrees about (x, y, z); a zero axis leaves the matrix as it is.
  void rotate(float degrees, float x, float y, float z);
  void scale(float x, float y, float z);
  // Multiplies by `m` (column-major) on the right.
  void multiply(const float* m);
  // glFrustum's and glOrtho's matrices, their arguments narrowed to float
  // as GL does.
  void frustum(double left, double right, double bottom, double top, double zNear, double zFar);
  void ortho(double left, double right, double bottom, double top, double zNear, double zFar);
  // gluPerspective's and gluLookAt's matrices.
  void perspective(double fovyDegrees, double aspect, double zNear, double zFar);
  void lookAt(double eyeX, double eyeY, double eyeZ, double centreX, double centreY, double centreZ, double upX,
              double upY, double upZ);

  const glm::mat4& modelView() const { return mTop[ModelView][mLevel[ModelView]]; }
  const glm::mat4& projection() const { return mTop[Projection][mLevel[Projection]]; }
  // What an effect's state-matrix parameters are set from; valid until the
  // next change.
  StateMatrices stateMatrices() const;
  // Loads both matrices into GL, leaving the selected mode selected there
  // (after drawing code outside the stack changed GL's).
  void loadIntoGl() const;

 private:
  glm::mat4& top() { return mTop[mMode][mLevel[mMode]]; }
  void multiplyTop(const glm::mat4& m);
  void load() const;

  Mode mMode = ModelView;
  size_t mLevel[2] = {0, 0};
  glm::mat4 mTop[2][kDepth];
};
