// Key evaluation: linear blends, with position following a parabola through
// three consecutive keys once there are three or more. The parabola treats
// the keys as equally spaced, whatever their times.
#include <algorithm>

#include "formats/formats.h"

namespace {

glm::vec3 blend(const glm::vec3& a, const glm::vec3& b, float h) { return (1.0f - h) * a + h * b; }

}  // namespace

QdfKey evaluateKey(const QdfObject& object, const std::string& part, float time) {
  const auto found = object.parts.find(part);
  if (found == object.parts.end()) return QdfKey{};
  const std::vector<QdfKey>& keys = found->second;
  const std::vector<float>& times = object.times;
  // Equal in every parsed object; the smaller guards hand-built ones.
  const size_t m = std::min(times.size(), keys.size());
  if (m == 0) return QdfKey{};
  if (m == 1) return keys[0];

  const float t = time < 0.0f ? 0.0f : time;
  size_t i = 0;
  while (i + 1 < m && !(times[i] <= t && t <= times[i + 1])) ++i;
  if (i + 1 == m) return keys[m - 1];
  const float span = times[i + 1] - times[i];
  const float h = span > 0.0f ? (t - times[i]) / span : 0.0f;  // two equal times: the first key

  const QdfKey& a = keys[i];
  const QdfKey& b = keys[i + 1];
  QdfKey key;
  key.rotation = blend(a.rotation, b.rotation, h);
  key.alpha = (1.0f - h) * a.alpha + h * b.alpha;
  key.scale = blend(a.scale, b.scale, h);
  if (m == 2) {
    key.position = blend(a.position, b.position, h);
  } else if (i == 0) {
    // Through keys 0, 1, 2 placed at 0, 1, 2.
    const float x = h;
    key.position = 0.5f * ((x * x - 3.0f * x + 2.0f) * keys[0].position + (4.0f * x - 2.0f * x * x) * keys[1].position +
                           (x * x - x) * keys[2].position);
  } else {
    // Through keys i - 1, i, i + 1 placed at -1, 0, 1.
    const float x = h;
    key.position = 0.5f * ((x * x - x) * keys[i - 1].position + (2.0f - 2.0f * x * x) * keys[i].position +
                           (x * x + x) * keys[i + 1].position);
  }
  return key;
}
