// The CPU matrix stack. The arithmetic follows the order of operations of
// GL's fixed-function matrix code and of GLU, in float where they use float,
// so every value is the one GL would have held.
#include "render/matrix_stack.h"

#include <GL/glew.h>

#include <cassert>
#include <cmath>

namespace {

constexpr double kPi = 3.14159265358979323846;

// P = A * B, column-major, each element summed left to right.
glm::mat4 product(const glm::mat4& a, const glm::mat4& b) {
  glm::mat4 p;
  for (int i = 0; i < 4; ++i) {
    const float ai0 = a[0][i], ai1 = a[1][i], ai2 = a[2][i], ai3 = a[3][i];
    for (int j = 0; j < 4; ++j) p[j][i] = ai0 * b[j][0] + ai1 * b[j][1] + ai2 * b[j][2] + ai3 * b[j][3];
  }
  return p;
}

void normalize(float v[3]) {
  const float r = static_cast<float>(std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]));
  if (r == 0.0f) return;
  v[0] /= r;
  v[1] /= r;
  v[2] /= r;
}

void cross(const float a[3], const float b[3], float out[3]) {
  out[0] = a[1] * b[2] - a[2] * b[1];
  out[1] = a[2] * b[0] - a[0] * b[2];
  out[2] = a[0] * b[1] - a[1] * b[0];
}

}  // namespace

MatrixStack::MatrixStack() {
  for (auto& mode : mTop)
    for (glm::mat4& m : mode) m = glm::mat4(1.0f);
}

void MatrixStack::matrixMode(Mode mode) {
  mMode = mode;
  glMatrixMode(mode == ModelView ? GL_MODELVIEW : GL_PROJECTION);
}

void MatrixStack::push() {
  assert(mLevel[mMode] + 1 < kDepth && "matrix stack overflow: a push without its pop");
  mTop[mMode][mLevel[mMode] + 1] = top();
  ++mLevel[mMode];
}

void MatrixStack::pop() {
  assert(mLevel[mMode] > 0 && "matrix stack underflow: a pop without its push");
  --mLevel[mMode];
  load();
}

void MatrixStack::loadIdentity() {
  top() = glm::mat4(1.0f);
  load();
}

void MatrixStack::translate(float x, float y, float z) {
  glm::mat4& m = top();
  m[3] = m[0] * x + m[1] * y + m[2] * z + m[3];
  load();
}

// Rotations about one axis are built directly from the sine and cosine,
// as GL builds them; any other axis is normalised first.
void MatrixStack::rotate(float degrees, float x, float y, float z) {
  // The angle in radians is rounded to float before the sine, as GL does.
  const float radians = static_cast<float>(degrees * kPi / 180.0);
  const float s = std::sin(radians);
  const float c = std::cos(radians);
  glm::mat4 r(1.0f);  // r[col][row]
  if (x == 0.0f && y == 0.0f && z != 0.0f) {
    r[0][0] = c;
    r[1][1] = c;
    r[1][0] = z < 0.0f ? s : -s;  // row 0, column 1
    r[0][1] = z < 0.0f ? -s : s;
  } else if (x == 0.0f && z == 0.0f && y != 0.0f) {
    r[0][0] = c;
    r[2][2] = c;
    r[2][0] = y < 0.0f ? -s : s;
    r[0][2] = y < 0.0f ? s : -s;
  } else if (y == 0.0f && z == 0.0f && x != 0.0f) {
    r[1][1] = c;
    r[2][2] = c;
    r[2][1] = x < 0.0f ? s : -s;
    r[1][2] = x < 0.0f ? -s : s;
  } else {
    const float mag = std::sqrt(x * x + y * y + z * z);
    if (mag <= 1.0e-4f) return;
    x /= mag;
    y /= mag;
    z /= mag;
    const float xx = x * x, yy = y * y, zz = z * z, xy = x * y, yz = y * z, zx = z * x;
    const float xs = x * s, ys = y * s, zs = z * s, oneC = 1.0f - c;
    r[0][0] = (oneC * xx) + c;
    r[1][0] = (oneC * xy) - zs;
    r[2][0] = (oneC * zx) + ys;
    r[0][1] = (oneC * xy) + zs;
    r[1][1] = (oneC * yy) + c;
    r[2][1] = (oneC * yz) - xs;
    r[0][2] = (oneC * zx) - ys;
    r[1][2] = (oneC * yz) + xs;
    r[2][2] = (oneC * zz) + c;
  }
  multiplyTop(r);
}

void MatrixStack::scale(float x, float y, float z) {
  glm::mat4& m = top();
  m[0] *= x;
  m[1] *= y;
  m[2] *= z;
  load();
}

void MatrixStack::multiply(const float* m) {
  glm::mat4 b;
  for (int col = 0; col < 4; ++col)
    for (int row = 0; row < 4; ++row) b[col][row] = m[col * 4 + row];
  multiplyTop(b);
}

void MatrixStack::frustum(double left, double right, double bottom, double top, double zNear, double zFar) {
  const float l = static_cast<float>(left), r = static_cast<float>(right);
  const float b = static_cast<float>(bottom), t = static_cast<float>(top);
  const float n = static_cast<float>(zNear), f = static_cast<float>(zFar);
  glm::mat4 m(0.0f);
  m[0][0] = (2.0f * n) / (r - l);
  m[1][1] = (2.0f * n) / (t - b);
  m[2][0] = (r + l) / (r - l);
  m[2][1] = (t + b) / (t - b);
  m[2][2] = -(f + n) / (f - n);
  m[3][2] = -(2.0f * f * n) / (f - n);
  m[2][3] = -1.0f;
  multiplyTop(m);
}

void MatrixStack::ortho(double left, double right, double bottom, double top, double zNear, double zFar) {
  const float l = static_cast<float>(left), r = static_cast<float>(right);
  const float b = static_cast<float>(bottom), t = static_cast<float>(top);
  const float n = static_cast<float>(zNear), f = static_cast<float>(zFar);
  glm::mat4 m(1.0f);
  m[0][0] = 2.0f / (r - l);
  m[3][0] = -(r + l) / (r - l);
  m[1][1] = 2.0f / (t - b);
  m[3][1] = -(t + b) / (t - b);
  m[2][2] = -2.0f / (f - n);
  m[3][2] = -(f + n) / (f - n);
  multiplyTop(m);
}

void MatrixStack::perspective(double fovyDegrees, double aspect, double zNear, double zFar) {
  const double radians = fovyDegrees / 2 * kPi / 180;
  const double deltaZ = zFar - zNear;
  const double sine = std::sin(radians);
  if (deltaZ == 0 || sine == 0 || aspect == 0) return;
  const double cotangent = std::cos(radians) / sine;
  glm::mat4 m(1.0f);
  m[0][0] = static_cast<float>(cotangent / aspect);
  m[1][1] = static_cast<float>(cotangent);
  m[2][2] = static_cast<float>(-(zFar + zNear) / deltaZ);
  m[2][3] = -1.0f;
  m[3][2] = static_cast<float>(-2 * zNear * zFar / deltaZ);
  m[3][3] = 0.0f;
  multiplyTop(m);
}

void MatrixStack::lookAt(double eyeX, double eyeY, double eyeZ, double centreX, double centreY, double centreZ,
                         double upX, double upY, double upZ) {
  float forward[3] = {static_cast<float>(centreX - eyeX), static_cast<float>(centreY - eyeY),
                      static_cast<float>(centreZ - eyeZ)};
  float up[3] = {static_cast<float>(upX), static_cast<float>(upY), static_cast<float>(upZ)};
  float side[3];
  normalize(forward);
  cross(forward, up, side);
  normalize(side);
  cross(side, forward, up);
  glm::mat4 m(1.0f);  // rows: side, up, -forward
  for (int k = 0; k < 3; ++k) {
    m[k][0] = side[k];
    m[k][1] = up[k];
    m[k][2] = -forward[k];
  }
  top() = product(top(), m);
  translate(static_cast<float>(-eyeX), static_cast<float>(-eyeY), static_cast<float>(-eyeZ));
}

StateMatrices MatrixStack::stateMatrices() const { return {&modelView()[0][0], &projection()[0][0]}; }

void MatrixStack::loadIntoGl() const {
  glMatrixMode(GL_PROJECTION);
  glLoadMatrixf(&projection()[0][0]);
  glMatrixMode(GL_MODELVIEW);
  glLoadMatrixf(&modelView()[0][0]);
  if (mMode == Projection) glMatrixMode(GL_PROJECTION);
}

void MatrixStack::multiplyTop(const glm::mat4& m) {
  top() = product(top(), m);
  load();
}

// The mode is selected again: drawing outside the stack may have left GL
// another.
void MatrixStack::load() const {
  glMatrixMode(mMode == ModelView ? GL_MODELVIEW : GL_PROJECTION);
  glLoadMatrixf(&mTop[mMode][mLevel[mMode]][0][0]);
}
