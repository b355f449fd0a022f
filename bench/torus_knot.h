// The model benchmarks' deterministic mesh: a tube of kKnotAround vertices
// round each of kKnotAlong rings along a (2, 3) torus knot, 200 000
// triangles when the rings are joined by quads.
#pragma once

#include <cmath>
#include <glm/geometric.hpp>
#include <glm/vec3.hpp>

constexpr int kKnotAlong = 500;   // rings along the knot
constexpr int kKnotAround = 200;  // vertices around the tube

// Vertex j of ring i: its position (tube radius 8 round a knot of radius
// about 120) and the unit vector out of the tube there.
inline void knotVertex(int i, int j, glm::vec3& position, glm::vec3& out) {
  const auto knot = [](float t) {
    const float r = 2.0f + std::cos(3.0f * t);
    return 40.0f * glm::vec3(r * std::cos(2.0f * t), r * std::sin(2.0f * t), std::sin(3.0f * t));
  };
  const float step = 2.0f * 3.14159265f / kKnotAlong;
  const float t = static_cast<float>(i) * step;
  const glm::vec3 c = knot(t);
  const glm::vec3 before = knot(t - step);
  const glm::vec3 after = knot(t + step);
  const glm::vec3 tangent = glm::normalize(after - before);
  const glm::vec3 normal = glm::normalize(after + before - 2.0f * c);
  const glm::vec3 binormal = glm::cross(tangent, normal);
  const float a = 2.0f * 3.14159265f * static_cast<float>(j) / kKnotAround;
  out = std::cos(a) * normal + std::sin(a) * binormal;
  position = c + 8.0f * out;
}
