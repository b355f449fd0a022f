// modelgen: writes the sample production's models (Metasequoia text, for
// mqo2bmdl) and its scene animation files (.qdf) into a folder laid out like
// the pack (data/model, data/scene). Everything is computed: the same build
// writes the same files. Units: the scene camera sees 0.1 to 150, so the
// world is about 140 units across. Music: 125 beats a minute, so the scene
// keys that ride on the rhythm are spaced by kBeat seconds.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kBeat = 0.48;  // seconds

struct V3 {
  double x = 0, y = 0, z = 0;
};
V3 operator+(V3 a, V3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
V3 operator-(V3 a, V3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
V3 operator*(V3 a, double s) { return {a.x * s, a.y * s, a.z * s}; }

// ---------------------------------------------------------------------------
// Meshes and the .mqo writer.

struct Face {
  int corners;
  int index[4];
  double uv[8];
  int material;
};

struct Mesh {
  Mesh(std::string n, int d, double f) : name(std::move(n)), depth(d), facet(f) {}
  std::string name;
  int depth = 0;
  double facet = 40;
  std::vector<V3> vertices;
  std::vector<Face> faces;

  int vertex(V3 p) {
    vertices.push_back(p);
    return static_cast<int>(vertices.size()) - 1;
  }
  // Corners counter-clockwise seen from the front.
  void quad(int a, int b, int c, int d, int material, double u0 = 0, double v0 = 0, double u1 = 1, double v1 = 1) {
    faces.push_back({4, {a, b, c, d}, {u0, v1, u1, v1, u1, v0, u0, v0}, material});
  }
  void triangle(int a, int b, int c, int material, double u = 0.5, double v = 0.5) {
    faces.push_back({3, {a, b, c, 0}, {u, v, u, v, u, v, 0, 0}, material});
  }
};

struct Material {
  std::string name;
  double r, g, b, a;
  double dif = 0.8, amb = 0.6, emi = 0, spc = 0.5, power = 20;
  std::string texture, texture2, effect;
};

struct Model {
  std::vector<Material> materials;
  std::vector<Mesh> meshes;
  std::vector<std::pair<std::string, V3>> points;
};

bool writeModel(const std::string& path, const Model& model) {
  std::FILE* f = std::fopen(path.c_str(), "w");
  if (!f) return false;
  std::fprintf(f, "Metasequoia Document\nFormat Text Ver 1.0\n\n");
  std::fprintf(f, "Material %zu {\n", model.materials.size());
  for (const Material& m : model.materials) {
    std::fprintf(f, "\t\"%s\" shader(3) col(%.3f %.3f %.3f %.3f) dif(%.3f) amb(%.3f) emi(%.3f) spc(%.3f) power(%.2f)",
                 m.name.c_str(), m.r, m.g, m.b, m.a, m.dif, m.amb, m.emi, m.spc, m.power);
    if (!m.texture.empty()) std::fprintf(f, " tex(\"%s\")", m.texture.c_str());
    if (!m.texture2.empty()) std::fprintf(f, " tex2(\"%s\")", m.texture2.c_str());
    if (!m.effect.empty()) std::fprintf(f, " effect(\"%s\")", m.effect.c_str());
    std::fprintf(f, "\n");
  }
  std::fprintf(f, "}\n");
  for (const Mesh& o : model.meshes) {
    std::fprintf(f, "Object \"%s\" {\n\tdepth %d\n\tvisible 15\n\tshading 1\n\tfacet %.1f\n", o.name.c_str(), o.depth,
                 o.facet);
    std::fprintf(f, "\tvertex %zu {\n", o.vertices.size());
    for (const V3& v : o.vertices) std::fprintf(f, "\t\t%.4f %.4f %.4f\n", v.x, v.y, v.z);
    std::fprintf(f, "\t}\n\tface %zu {\n", o.faces.size());
    // Metasequoia's order: clockwise seen from the front, so the corners
    // go out last first (mqo2bmdl reverses them back).
    for (const Face& fc : o.faces) {
      std::fprintf(f, "\t\t%d V(", fc.corners);
      for (int c = fc.corners - 1; c >= 0; --c) std::fprintf(f, c + 1 < fc.corners ? " %d" : "%d", fc.index[c]);
      std::fprintf(f, ") M(%d) UV(", fc.material);
      for (int c = fc.corners - 1; c >= 0; --c) {
        std::fprintf(f, c + 1 < fc.corners ? " %.5f %.5f" : "%.5f %.5f", fc.uv[2 * c], fc.uv[2 * c + 1]);
      }
      std::fprintf(f, ")\n");
    }
    std::fprintf(f, "\t}\n}\n");
  }
  for (const auto& [name, p] : model.points) {
    std::fprintf(f, "Object \">%s\" {\n\tdepth 0\n\tvisible 0\n\tvertex 1 {\n\t\t%.4f %.4f %.4f\n\t}\n}\n",
                 name.c_str(), p.x, p.y, p.z);
  }
  std::fprintf(f, "Eof\n");
  return std::fclose(f) == 0;
}

// Axis-aligned box, texture repeated every `tile` units on each side.
void box(Mesh& m, V3 lo, V3 hi, int material, int topMaterial = -1, double tile = 0) {
  if (topMaterial < 0) topMaterial = material;
  const V3 c[8] = {{lo.x, lo.y, lo.z}, {hi.x, lo.y, lo.z}, {hi.x, hi.y, lo.z}, {lo.x, hi.y, lo.z},
                   {lo.x, lo.y, hi.z}, {hi.x, lo.y, hi.z}, {hi.x, hi.y, hi.z}, {lo.x, hi.y, hi.z}};
  const int sides[6][4] = {{0, 3, 2, 1}, {4, 5, 6, 7}, {0, 4, 7, 3}, {1, 2, 6, 5}, {3, 7, 6, 2}, {0, 1, 5, 4}};
  const double w = hi.x - lo.x, h = hi.y - lo.y, d = hi.z - lo.z;
  const double span[6][2] = {{w, h}, {w, h}, {d, h}, {d, h}, {w, d}, {w, d}};
  for (int s = 0; s < 6; ++s) {
    // Separate corners per side: flat faces, and each side its own UVs.
    const int a = m.vertex(c[sides[s][0]]), b = m.vertex(c[sides[s][1]]), cc = m.vertex(c[sides[s][2]]),
              dd = m.vertex(c[sides[s][3]]);
    const double us = tile > 0 ? span[s][0] / tile : 1, vs = tile > 0 ? span[s][1] / tile : 1;
    m.quad(a, b, cc, dd, s == 4 ? topMaterial : material, 0, 0, us, vs);
  }
}

// Open cylinder (sides only) or closed with caps, around the y axis at `base`.
void cylinder(Mesh& m, V3 base, double r0, double r1, double height, int segments, int material, bool caps) {
  std::vector<int> bottom, top;
  for (int i = 0; i <= segments; ++i) {
    const double a = 2 * kPi * i / segments;
    bottom.push_back(m.vertex(base + V3{r0 * std::cos(a), 0, r0 * std::sin(a)}));
    top.push_back(m.vertex(base + V3{r1 * std::cos(a), height, r1 * std::sin(a)}));
  }
  for (int i = 0; i < segments; ++i) {
    m.quad(bottom[i], top[i], top[i + 1], bottom[i + 1], material, double(i) / segments, 0,
           double(i + 1) / segments, height / (2 * kPi * r0 / segments * segments) * 4);
  }
  if (caps) {
    const int cb = m.vertex(base), ct = m.vertex(base + V3{0, height, 0});
    for (int i = 0; i < segments; ++i) {
      m.triangle(cb, bottom[i], bottom[i + 1], material);
      m.triangle(ct, top[i + 1], top[i], material);
    }
  }
}

// Torus around the y axis.
void torus(Mesh& m, V3 centre, double major, double minor, int around, int tube, int material) {
  std::vector<int> idx;
  for (int i = 0; i <= around; ++i) {
    const double a = 2 * kPi * i / around;
    for (int j = 0; j <= tube; ++j) {
      const double b = 2 * kPi * j / tube;
      const double rr = major + minor * std::cos(b);
      idx.push_back(m.vertex(centre + V3{rr * std::cos(a), minor * std::sin(b), rr * std::sin(a)}));
    }
  }
  for (int i = 0; i < around; ++i) {
    for (int j = 0; j < tube; ++j) {
      const int k = i * (tube + 1) + j;
      m.quad(idx[k], idx[k + 1], idx[k + tube + 2], idx[k + tube + 1], material, double(i) / around * 8,
             double(j) / tube, double(i + 1) / around * 8, double(j + 1) / tube);
    }
  }
}

// Latitude-longitude sphere, optionally with its radius bent by `shape`.
void sphere(Mesh& m, V3 centre, double radius, int rings, int segments, int material,
            const std::function<double(V3)>& shape = nullptr) {
  std::vector<int> idx;
  for (int i = 0; i <= rings; ++i) {
    const double t = kPi * i / rings;
    for (int j = 0; j <= segments; ++j) {
      const double p = 2 * kPi * j / segments;
      const V3 dir{std::sin(t) * std::cos(p), std::cos(t), std::sin(t) * std::sin(p)};
      const double r = radius * (shape ? shape(dir) : 1.0);
      idx.push_back(m.vertex(centre + dir * r));
    }
  }
  for (int i = 0; i < rings; ++i) {
    for (int j = 0; j < segments; ++j) {
      const int k = i * (segments + 1) + j;
      m.quad(idx[k], idx[k + segments + 1], idx[k + segments + 2], idx[k + 1], material, double(j) / segments,
             double(i) / rings, double(j + 1) / segments, double(i + 1) / rings);
    }
  }
}

// Octahedron (a shard), stretched along y.
void shard(Mesh& m, V3 c, double r, double stretch, int material) {
  const int top = m.vertex(c + V3{0, r * stretch, 0}), bottom = m.vertex(c + V3{0, -r * stretch, 0});
  int ring[4];
  for (int i = 0; i < 4; ++i) ring[i] = m.vertex(c + V3{r * std::cos(i * kPi / 2), 0, r * std::sin(i * kPi / 2)});
  for (int i = 0; i < 4; ++i) {
    m.triangle(top, ring[(i + 1) % 4], ring[i], material);
    m.triangle(bottom, ring[i], ring[(i + 1) % 4], material);
  }
}

// A flat rectangle at depth z facing -z (towards the fixed overlay view, which
// looks from (0, 0, -1) along +z and so sees +x on the left): u runs from +x
// to -x so that pictures read the right way round.
void plate(Mesh& m, double cx, double cy, double z, double halfW, double halfH, int material) {
  const int a = m.vertex({cx + halfW, cy - halfH, z}), b = m.vertex({cx - halfW, cy - halfH, z}),
            c = m.vertex({cx - halfW, cy + halfH, z}), d = m.vertex({cx + halfW, cy + halfH, z});
  m.faces.push_back({4, {a, b, c, d}, {0, 1, 1, 1, 1, 0, 0, 0}, material});
}

// ---------------------------------------------------------------------------
// The models.

const char* const kLit = "data/shader/vsLit.cgfx";
const char* const kEnv = "data/shader/vsEnv.cgfx";
const char* const kGlow = "data/shader/vsEmissive.cgfx";
const char* const kSky = "data/shader/vsSky.cgfx";
const char* const kOverlay = "data/shader/vsOverlay.cgfx";

double terrainHeight(double x, double z) {
  const double r = std::sqrt(x * x + z * z);
  const double hills = 3.2 * std::sin(x * 0.11 + 1.3) * std::cos(z * 0.09 - 0.4) + 1.6 * std::sin(x * 0.23 + z * 0.19) +
                       0.7 * std::cos(x * 0.47 - z * 0.41) + 2.2;
  const double rise = std::min(1.0, std::max(0.0, (r - 13) / 22));
  const double bowl = std::max(0.0, (r - 60) / 10) * 10;  // walls at the horizon
  return -1.2 * (1 - rise) + hills * rise * rise + bowl;
}

Model terrain() {
  Model model;
  model.materials = {{"ground", 0.95, 0.92, 0.85, 1, 0.9, 0.5, 0, 0.15, 8, "data/texture/ground.tga",
                      "data/texture/noise.png", kLit},
                     {"water", 0.25, 0.45, 0.6, 0.78, 0.6, 0.4, 0, 1.0, 60, "data/texture/ground.tga", "", kEnv}};
  Mesh ground{"terrain", 0, 70};
  constexpr int kN = 56;
  constexpr double kSize = 70;
  std::vector<int> idx;
  for (int i = 0; i <= kN; ++i)
    for (int j = 0; j <= kN; ++j) {
      const double x = -kSize + 2 * kSize * j / kN, z = -kSize + 2 * kSize * i / kN;
      idx.push_back(ground.vertex({x, terrainHeight(x, z), z}));
    }
  for (int i = 0; i < kN; ++i)
    for (int j = 0; j < kN; ++j) {
      const int k = i * (kN + 1) + j;
      const double u0 = double(j) / kN * 8, u1 = double(j + 1) / kN * 8, v0 = double(i) / kN * 8,
                   v1 = double(i + 1) / kN * 8;
      ground.faces.push_back({4, {k, k + kN + 1, k + kN + 2, k + 1}, {u0, v0, u0, v1, u1, v1, u1, v0}, 0});
    }
  (void)idx;
  Mesh water{"water", 0, 10};
  const int a = water.vertex({-kSize, -0.4, -kSize}), b = water.vertex({-kSize, -0.4, kSize}),
            c = water.vertex({kSize, -0.4, kSize}), d = water.vertex({kSize, -0.4, -kSize});
  water.faces.push_back({4, {a, b, c, d}, {0, 0, 0, 6, 6, 6, 6, 0}, 1});
  model.meshes = {ground, water};
  return model;
}

Model temple() {
  Model model;
  model.materials = {{"stone", 0.8, 0.76, 0.7, 1, 0.9, 0.55, 0, 0.35, 16, "data/texture/marble.bmp", "", kLit},
                     {"gold", 1.0, 0.78, 0.38, 1, 0.8, 0.4, 0, 1.0, 50, "data/texture/marble.bmp", "", kEnv},
                     {"glow", 1.0, 0.55, 0.22, 1, 0, 0, 1, 0, 1, "data/texture/light1.png", "", kGlow}};
  Mesh base{"base", 0, 20};
  box(base, {-10, -1.2, -10}, {10, -0.4, 10}, 0, 0, 4);
  box(base, {-8.8, -0.4, -8.8}, {8.8, 0.0, 8.8}, 0, 0, 4);
  box(base, {-7.9, 0.0, -7.9}, {7.9, 0.35, 7.9}, 0, 0, 4);
  Mesh columns{"colonnade", 1, 50};
  constexpr int kColumns = 12;
  constexpr double kRing = 6.6;
  for (int i = 0; i < kColumns; ++i) {
    const double a = 2 * kPi * i / kColumns;
    const V3 at{kRing * std::cos(a), 0.35, kRing * std::sin(a)};
    box(columns, at + V3{-0.6, 0, -0.6}, at + V3{0.6, 0.4, 0.6}, 0);
    cylinder(columns, at + V3{0, 0.4, 0}, 0.45, 0.38, 5.4, 12, 0, false);
    box(columns, at + V3{-0.65, 5.8, -0.65}, at + V3{0.65, 6.2, 0.65}, 1);
  }
  Mesh lintel{"lintel", 1, 30};
  for (int i = 0; i < kColumns; ++i) {
    const double a0 = 2 * kPi * i / kColumns, a1 = 2 * kPi * (i + 1) / kColumns;
    // An arch from column top to column top: a curved strip of eight blocks.
    for (int k = 0; k < 8; ++k) {
      const double s0 = double(k) / 8, s1 = double(k + 1) / 8;
      const double b0 = a0 + (a1 - a0) * s0, b1 = a0 + (a1 - a0) * s1;
      const double h0 = 6.2 + 1.0 * std::sin(kPi * s0), h1 = 6.2 + 1.0 * std::sin(kPi * s1);
      const V3 p0{kRing * std::cos(b0), h0, kRing * std::sin(b0)}, p1{kRing * std::cos(b1), h1, kRing * std::sin(b1)};
      const V3 n0 = V3{std::cos(b0), 0, std::sin(b0)} * 0.4, n1 = V3{std::cos(b1), 0, std::sin(b1)} * 0.4;
      const V3 up{0, 0.45, 0};
      const int q[8] = {lintel.vertex(p0 - n0), lintel.vertex(p1 - n1), lintel.vertex(p1 + n1), lintel.vertex(p0 + n0),
                        lintel.vertex(p0 - n0 + up), lintel.vertex(p1 - n1 + up), lintel.vertex(p1 + n1 + up),
                        lintel.vertex(p0 + n0 + up)};
      lintel.quad(q[4], q[7], q[6], q[5], 0, s0, 0, s1, 0.2);
      lintel.quad(q[0], q[1], q[2], q[3], 0, s0, 0, s1, 0.2);
      lintel.quad(q[3], q[2], q[6], q[7], 0, s0, 0, s1, 0.2);
      lintel.quad(q[0], q[4], q[5], q[1], 0, s0, 0, s1, 0.2);
    }
  }
  torus(lintel, {0, 7.9, 0}, kRing, 0.18, 48, 8, 1);
  Mesh towers{"towers", 0, 20};
  Mesh beacons{"beacons", 1, 60};
  for (int i = 0; i < 4; ++i) {
    const double a = kPi / 4 + kPi / 2 * i;
    const V3 at{26 * std::cos(a), terrainHeight(26 * std::cos(a), 26 * std::sin(a)) - 1, 26 * std::sin(a)};
    box(towers, at + V3{-1.6, 0, -1.6}, at + V3{1.6, 14, 1.6}, 0, 0, 3);
    box(towers, at + V3{-1.9, 14, -1.9}, at + V3{1.9, 14.6, 1.9}, 1);
    // Lit windows up the four sides.
    for (int k = 0; k < 5; ++k) {
      const double y = 2 + k * 2.4;
      box(towers, at + V3{-0.25, y, -1.65}, at + V3{0.25, y + 1.2, 1.65}, 2);
      box(towers, at + V3{-1.65, y, -0.25}, at + V3{1.65, y + 1.2, 0.25}, 2);
    }
    cylinder(towers, at + V3{0, 14.6, 0}, 1.5, 0.05, 5, 4, 0, false);
    sphere(beacons, at + V3{0, 20.2, 0}, 0.9, 8, 12, 2);
  }
  model.meshes = {base, columns, lintel, towers, beacons};
  model.points = {{"lintel", {0, 7.9, 0}}, {"colonnade", {0, 0, 0}}};
  return model;
}

Model core() {
  Model model;
  // Glowing materials last: they write no depth, so whatever is drawn after
  // them would cover them.
  model.materials = {{"chrome", 0.85, 0.9, 1.0, 1, 0.5, 0.3, 0, 1.0, 80, "data/texture/marble.bmp", "", kEnv},
                     {"shardlit", 0.95, 0.6, 0.35, 1, 0.9, 0.5, 0.2, 0.9, 40, "data/texture/marble.bmp", "", kLit},
                     {"cyan", 0.3, 0.9, 1.0, 1, 0, 0, 1, 0, 1, "data/texture/light2.png", "", kGlow},
                     {"magenta", 1.0, 0.3, 0.8, 1, 0, 0, 1, 0, 1, "data/texture/light1.png", "", kGlow}};
  Mesh centre{"core", 0, 35};
  sphere(centre, {0, 0, 0}, 1.6, 24, 36, 0, [](V3 d) {
    // A faceted, lumpy orb: bumps along the axes make the reflections swim.
    return 1.0 + 0.12 * std::sin(d.x * 9) * std::sin(d.y * 9) * std::sin(d.z * 9);
  });
  Mesh ring1{"ring1", 1, 50};
  torus(ring1, {0, 0, 0}, 2.7, 0.09, 64, 6, 2);
  Mesh ring2{"ring2", 2, 50};
  torus(ring2, {0, 0, 0}, 3.4, 0.06, 64, 6, 3);
  Mesh shards{"shards", 1, 20};
  for (int i = 0; i < 18; ++i) {
    // Golden-angle spiral over the sphere of radius 4.6.
    const double y = 1 - 2 * (i + 0.5) / 18, r = std::sqrt(1 - y * y), a = i * 2.39996;
    shard(shards, V3{r * std::cos(a), y, r * std::sin(a)} * 4.6, 0.22, 2.2, 1);
  }
  model.meshes = {centre, ring1, ring2, shards};
  model.points = {{"core", {0, 0, 0}}, {"ring1", {0, 0, 0}}, {"ring2", {0, 0, 0}}, {"shards", {0, 0, 0}}};
  return model;
}

Model boxfloor() {
  Model model;
  // Material 0 is the one the boxfloor scene tints from green to red.
  model.materials = {{"tiles", 0.3, 0.9, 0.6, 0.85, 0.6, 0.4, 0.8, 0.6, 30, "data/texture/tiles.gif.bmp", "",
                      "data/shader/vsTile.cgfx"},
                     {"frame", 0.18, 0.19, 0.22, 1, 0.9, 0.5, 0, 0.8, 40, "data/texture/marble.bmp", "", kLit}};
  Mesh boxes{"boxes", 0, 20};
  constexpr int kN = 14;
  for (int i = 0; i < kN; ++i)
    for (int j = 0; j < kN; ++j) {
      const double x = (j - (kN - 1) / 2.0) * 2.2, z = (i - (kN - 1) / 2.0) * 2.2;
      const double h = 0.4 + 0.9 * (0.5 + 0.5 * std::sin(x * 0.5) * std::cos(z * 0.37)) +
                       1.4 * std::exp(-(x * x + z * z) / 60.0);
      box(boxes, {x - 0.95, -1, z - 0.95}, {x + 0.95, h, z + 0.95}, 1, 0);
    }
  model.meshes = {boxes};
  return model;
}

// The camera drone that flies ahead of the scene camera in the intro.
Model drone() {
  Model model;
  model.materials = {{"body", 0.2, 0.22, 0.26, 1, 0.9, 0.5, 0, 0.9, 40, "data/texture/marble.bmp", "", kLit},
                     {"lens", 0.6, 0.8, 1.0, 1, 0.5, 0.3, 0, 1.0, 90, "", "", kEnv},
                     {"lamp", 1.0, 0.25, 0.2, 1, 0, 0, 1, 0, 1, "data/texture/light1.png", "", kGlow}};
  Mesh body{"drone", 0, 30};
  box(body, {-0.5, -0.25, -0.7}, {0.5, 0.25, 0.7}, 0);
  box(body, {-1.6, -0.06, -0.1}, {1.6, 0.06, 0.1}, 0);
  Mesh lens{"lens", 1, 60};
  cylinder(lens, {0, -0.35, 0.3}, 0.22, 0.18, 0.2, 16, 1, true);
  sphere(lens, {0, 0.3, -0.6}, 0.08, 6, 8, 2);
  Mesh rotorL{"rotorL", 1, 20}, rotorR{"rotorR", 1, 20};
  box(rotorL, {-2.3, 0.1, -0.05}, {-0.9, 0.14, 0.05}, 0);
  box(rotorR, {0.9, 0.1, -0.05}, {2.3, 0.14, 0.05}, 0);
  model.meshes = {body, lens, rotorL, rotorR};
  model.points = {{"rotorL", {-1.6, 0, 0}}, {"rotorR", {1.6, 0, 0}}, {"drone", {0, 0, 0}}};
  return model;
}

// Screen-filling and overlay plates for the fixed view (drawn without depth
// test before or after the world).
Model backdrop() {
  Model model;
  model.materials = {{"sky", 1, 1, 1, 1, 0, 0, 1, 0, 1, "data/texture/sky.hdr", "", kSky}};
  Mesh sky{"sky", 0, 0};
  // Wide enough for a 100 degree view; the picture spans the 30 degree view
  // and its edges stretch beyond (the effect clamps).
  const double w = 120, h = 70, uSpan = 60, vSpan = 34;
  const int a = sky.vertex({w, -h, 60}), b = sky.vertex({-w, -h, 60}), c = sky.vertex({-w, h, 60}),
            d = sky.vertex({w, h, 60});
  const double u0 = 0.5 - w / uSpan, u1 = 0.5 + w / uSpan, vTop = 0.5 - h / vSpan, vBottom = 0.5 + h / vSpan;
  sky.faces.push_back({4, {a, b, c, d}, {u0, vBottom, u1, vBottom, u1, vTop, u0, vTop}, 0});
  model.meshes = {sky};
  return model;
}

Model overlay(const char* name, const char* texture, double halfW, double halfH, double r, double g, double b,
              bool opaque) {
  Model model;
  Material m{name, r, g, b, 1, 0, 0, 1, 0, 1, texture, "", opaque ? "data/shader/vsFlat.cgfx" : kOverlay};
  model.materials = {m};
  Mesh plateMesh{name, 0, 0};
  plate(plateMesh, 0, 0, 20, halfW, halfH, 0);
  model.meshes = {plateMesh};
  return model;
}

// Greetings: one line per object, stacked downwards, each rolling up on its own.
Model greetz() {
  Model model;
  model.materials = {{"greetz", 1, 0.9, 0.75, 1, 0, 0, 1, 0, 1, "data/texture/greetz.tga", "", kOverlay}};
  for (int i = 0; i < 4; ++i) {
    Mesh line{"line" + std::to_string(i), 0, 0};
    // Each line shows one quarter of the picture.
    const int a = line.vertex({4.2, -0.55, 20}), b = line.vertex({-4.2, -0.55, 20}), c = line.vertex({-4.2, 0.55, 20}),
              d = line.vertex({4.2, 0.55, 20});
    const double top = i / 4.0, bottom = (i + 1) / 4.0;
    line.faces.push_back({4, {a, b, c, d}, {0, bottom, 1, bottom, 1, top, 0, top}, 0});
    model.meshes.push_back(line);
  }
  return model;
}

// ---------------------------------------------------------------------------
// Scene animation files.

struct Key {
  V3 rot;
  double alpha = 1;
  V3 scale{1, 1, 1};
  V3 pos;
};

struct Track {
  std::string part;
  std::vector<Key> keys;
};

struct Object {
  int slot;  // -1: camera
  int cameraTrans = 1;
  std::vector<double> times;
  std::vector<Track> tracks;
};

struct Scene {
  std::string name;
  std::vector<Object> objects;
};

struct SceneFile {
  std::vector<std::string> models;
  std::vector<Scene> scenes;
};

// Samples `fn` at n + 1 evenly spaced times over [0, duration] into one
// object with the given parts.
using KeyFn = std::function<Key(const std::string& part, double t)>;
Object sampled(int slot, int cameraTrans, double duration, int n, const std::vector<std::string>& parts,
               const KeyFn& fn) {
  Object o{slot, cameraTrans, {}, {}};
  for (const std::string& p : parts) o.tracks.push_back({p, {}});
  for (int i = 0; i <= n; ++i) {
    const double t = duration * i / n;
    o.times.push_back(t);
    for (Track& tr : o.tracks) tr.keys.push_back(fn(tr.part, t));
  }
  return o;
}

// Keys at arbitrary times.
Object keyed(int slot, int cameraTrans, const std::vector<double>& times, const std::vector<std::string>& parts,
             const KeyFn& fn) {
  Object o{slot, cameraTrans, times, {}};
  for (const std::string& p : parts) {
    Track tr{p, {}};
    for (double t : times) tr.keys.push_back(fn(p, t));
    o.tracks.push_back(tr);
  }
  return o;
}

Key at(V3 pos) {
  Key k;
  k.pos = pos;
  return k;
}

// A camera from eye and target paths; fovExtra (degrees) widens the 30 degree
// field of view, roll tilts the horizon (degrees).
Object camera(double duration, int n, const std::function<V3(double)>& eye, const std::function<V3(double)>& target,
              const std::function<double(double)>& fovExtra = nullptr,
              const std::function<double(double)>& roll = nullptr) {
  return sampled(-1, 1, duration, n, {"camera_pos", "camera_lookat"}, [&](const std::string& part, double t) {
    if (part == "camera_lookat") return at(target(t));
    Key k = at(eye(t));
    if (fovExtra) k.rot.y = fovExtra(t) * kPi / 180;
    if (roll) k.rot.z = roll(t) * kPi / 180;
    return k;
  });
}

// A model object that stays put for the whole scene (two keys).
Object still(int slot, int cameraTrans, double duration, const std::vector<std::string>& parts, V3 pos = {},
             double alpha = 1) {
  return sampled(slot, cameraTrans, duration, 1, parts, [&](const std::string&, double) {
    Key k = at(pos);
    k.alpha = alpha;
    return k;
  });
}

void writeVec(std::FILE* f, const char* label, const Track& tr, const std::function<V3(const Key&)>& get) {
  std::fprintf(f, "\t\t\t%s {\n", label);
  for (const Key& k : tr.keys) {
    const V3 v = get(k);
    std::fprintf(f, "\t\t\t\t%.5f %.5f %.5f\n", v.x, v.y, v.z);
  }
  std::fprintf(f, "\t\t\t}\n");
}

bool writeScenes(const std::string& path, const SceneFile& file) {
  std::FILE* f = std::fopen(path.c_str(), "w");
  if (!f) return false;
  std::fprintf(f, "QScene Demo File\nFormat Text Ver 1.0\nmodelgen\n\nMQO {\n");
  for (size_t i = 0; i < file.models.size(); ++i)
    std::fprintf(f, "\t%zu \"data\\model\\%s.mqo\"\n", i, file.models[i].c_str());
  std::fprintf(f, "}\n");
  for (const Scene& s : file.scenes) {
    std::fprintf(f, "Scene \"%s\" {\n", s.name.c_str());
    for (const Object& o : s.objects) {
      std::fprintf(f, "\tObject %d {\n\t\tCameraTrans %d\n\t\tVisible 1\n\t\tDataNum %zu\n\t\tTime {", o.slot,
                   o.cameraTrans, o.times.size());
      for (double t : o.times) std::fprintf(f, " %.4f", t);
      std::fprintf(f, " }\n");
      for (const Track& tr : o.tracks) {
        std::fprintf(f, "\t\tPart \"%s\" {\n", tr.part.c_str());
        writeVec(f, "Position", tr, [](const Key& k) { return k.pos; });
        writeVec(f, "Rotation", tr, [](const Key& k) { return k.rot; });
        writeVec(f, "Scale", tr, [](const Key& k) { return k.scale; });
        std::fprintf(f, "\t\t\tAlpha {");
        for (const Key& k : tr.keys) std::fprintf(f, " %.4f", k.alpha);
        std::fprintf(f, " }\n\t\t}\n");
      }
      std::fprintf(f, "\t}\n");
    }
    std::fprintf(f, "}\n");
  }
  std::fprintf(f, "Eof\n");
  return std::fclose(f) == 0;
}

double smooth(double e0, double e1, double x) {
  const double t = std::min(1.0, std::max(0.0, (x - e0) / (e1 - e0)));
  return t * t * (3 - 2 * t);
}
V3 orbit(double radius, double angle, double height) {
  return {radius * std::cos(angle), height, radius * std::sin(angle)};
}
// A beat envelope: 1 on each beat, decaying over the beat.
double pulse(double t, double offset = 0) {
  const double phase = std::fmod(std::max(0.0, t - offset), kBeat) / kBeat;
  return std::exp(-phase * 5);
}

// Model slot names shared by the world files.
const std::vector<std::string> kWorldModels = {"backdrop", "terrain", "temple", "core", "boxfloor", "drone", "void"};
enum { kBackdrop, kTerrain, kTemple, kCore, kBoxfloor, kDrone, kWorldVoid };
const std::vector<std::string> kTerrainParts = {"terrain", "water"};
const std::vector<std::string> kTempleParts = {"base", "colonnade", "lintel", "towers", "beacons"};
const std::vector<std::string> kCoreParts = {"core", "ring1", "ring2", "shards"};

Object sky(double d) { return still(kBackdrop, 0, d, {"sky"}); }
Object ground(double d) { return still(kTerrain, 1, d, kTerrainParts); }

// The temple: the lintel ring wobbles, the beacons breathe on the beat.
Object templeObject(double d, bool beat, double keysPerSecond = 4) {
  const int n = std::max(2, static_cast<int>(d * keysPerSecond));
  return sampled(kTemple, 1, d, n, kTempleParts, [&](const std::string& p, double t) {
    Key k;
    if (p == "lintel") k.rot = {0.04 * std::sin(t * 0.9), t * 0.15, 0.04 * std::cos(t * 0.7)};
    if (p == "beacons") {
      const double s = beat ? 1 + 0.5 * pulse(t) : 1 + 0.15 * std::sin(t * 3);
      k.alpha = beat ? 0.5 + 0.5 * pulse(t) : 1;
      k.scale = {1, s, 1};
    }
    return k;
  });
}

// The centre piece at `height`, spinning; `grow` scales it in over the first
// seconds, `beat` makes it throb on every beat.
Object coreObject(double d, V3 where, double size, double fadeIn, bool beat, double spin = 1) {
  const int n = std::max(2, static_cast<int>(d / (beat ? kBeat / 4 : 0.25)));
  return sampled(kCore, 1, d, n, kCoreParts, [&](const std::string& p, double t) {
    Key k;
    const double in = fadeIn > 0 ? smooth(0, fadeIn, t) : 1;
    const double throb = beat ? 0.18 * pulse(t) : 0;
    if (p == "core") {
      k.pos = where + V3{0, 0.3 * std::sin(t * 1.3), 0};
      k.rot = {0.3 * std::sin(t * 0.5), t * 0.6 * spin, 0};
      const double s = size * in * (1 + throb);
      k.scale = {s, s, s};
      k.alpha = in;
    } else if (p == "ring1") {
      k.rot = {t * 1.1 * spin, 0, 0.6};
      k.alpha = in;
    } else if (p == "ring2") {
      k.rot = {0, t * 1.7 * spin, t * 0.8 * spin};
      k.alpha = in;
    } else {
      const double s = 1 + 1.5 * throb;
      k.scale = {s, s, s};
      k.rot = {0, -t * 0.9 * spin, 0};
      k.alpha = in;
    }
    return k;
  });
}

SceneFile worldIntro() {
  SceneFile file{kWorldModels, {}};
  const double d = 7.68;
  // Dawn: low over the water towards the temple, the drone leading the way.
  Scene a{"grasswater", {}};
  auto eyeA = [](double t) { return V3{6 * std::sin(t * 0.3), 2.2 + 0.35 * t, -46 + 3.2 * t}; };
  a.objects.push_back(camera(d, 8, eyeA, [](double t) { return V3{0, 4 - 0.1 * t, 0}; }, nullptr,
                             [](double t) { return 4 * std::sin(t * 0.5); }));
  a.objects.push_back(sky(d));
  a.objects.push_back(ground(d));
  a.objects.push_back(templeObject(d, false));
  a.objects.push_back(sampled(kDrone, 1, d, 32, {"drone", "lens", "rotorL", "rotorR"}, [&](const std::string& p, double t) {
    Key k;
    if (p == "drone") {
      // Ahead of the camera, bobbing.
      const V3 e = eyeA(t);
      k.pos = V3{e.x + 2.6 + 1.2 * std::sin(t * 1.1), e.y + 1.6 + 0.3 * std::sin(t * 2.3), e.z + 10 + 0.5 * t};
      k.scale = {0.7, 0.7, 0.7};
      k.rot = {0.1 * std::sin(t * 2), 0.2 * std::sin(t * 0.7), 0.15 * std::sin(t * 1.3)};
    }
    if (p == "rotorL" || p == "rotorR") k.rot = {0, t * 40, 0};
    return k;
  }));
  file.scenes.push_back(a);
  // Around the temple as the sprites rise.
  Scene b{"skyhand1", {}};
  b.objects.push_back(camera(d, 8, [](double t) { return orbit(22 - 0.6 * t, 1.2 + t * 0.35, 3 + 0.9 * t); },
                             [](double t) { return V3{0, 3 + 0.3 * t, 0}; }));
  b.objects.push_back(sky(d));
  b.objects.push_back(ground(d));
  b.objects.push_back(templeObject(d, false));
  file.scenes.push_back(b);
  return file;
}

SceneFile worldBuild() {
  SceneFile file{kWorldModels, {}};
  const double d = 7.68;
  // Up a tower and over the roofline.
  Scene a{"skyhand2", {}};
  a.objects.push_back(camera(d, 8, [](double t) { return V3{34 - 1.8 * t, 3 + 2.0 * t, -6 - 1.0 * t}; },
                             [](double t) { return V3{18.4 - 10 * smooth(0, 7.68, t), 10 - 3 * smooth(2, 7.68, t), -18.4 + 16 * smooth(1, 7.68, t)}; },
                             [](double t) { return 8 - t; }));
  a.objects.push_back(sky(d));
  a.objects.push_back(ground(d));
  a.objects.push_back(templeObject(d, false));
  file.scenes.push_back(a);
  // The centre piece appears inside the colonnade.
  Scene b{"clock1", {}};
  b.objects.push_back(camera(d, 12, [](double t) { return orbit(15 - 0.8 * t, -0.5 - 0.25 * t, 6 - 0.3 * t); },
                             [](double) { return V3{0, 5.5, 0}; }));
  b.objects.push_back(sky(d));
  b.objects.push_back(ground(d));
  b.objects.push_back(templeObject(d, false));
  b.objects.push_back(coreObject(d, {0, 5.5, 0}, 0.9, 4, false));
  file.scenes.push_back(b);
  return file;
}

SceneFile worldDrop() {
  SceneFile file{kWorldModels, {}};
  const double d = 15.36;
  // Close on the throbbing centre piece, cutting round it every two bars.
  Scene a{"clock2", {}};
  a.objects.push_back(camera(d, 64,
                             [](double t) {
                               const int bar = static_cast<int>(t / (kBeat * 8));
                               const double angle = bar * 2.1 + t * 0.35;
                               return orbit(11 + 2.5 * std::sin(bar * 1.7), angle, 10 + 4 * std::sin(bar * 2.3 + 1));
                             },
                             [](double) { return V3{0, 10.5, 0}; },
                             [](double t) { return 10 + 8 * pulse(t); }));
  a.objects.push_back(sky(d));
  a.objects.push_back(ground(d));
  a.objects.push_back(templeObject(d, true, 8));
  a.objects.push_back(coreObject(d, {0, 11, 0}, 1.2, 0, true, 2));
  file.scenes.push_back(a);
  // Low over the glowing floor, the centre piece hanging above it.
  Scene b{"boxfloor1", {}};
  b.objects.push_back(camera(d, 16, [](double t) { return V3{-18 + 2.2 * t, 6 + 1.5 * std::sin(t * 0.6), -12 + 0.9 * t}; },
                             [](double t) { return V3{-4 + 1.2 * t, 1.5 + 0.2 * t, 2 - 0.2 * t}; },
                             [](double t) { return 20 - t * 0.6; }, [](double t) { return 8 * std::sin(t * 0.4); }));
  b.objects.push_back(sky(d));
  b.objects.push_back(sampled(kBoxfloor, 1, d, static_cast<int>(d / kBeat), {"boxes"}, [](const std::string&, double t) {
    Key k;
    k.pos = {0, -1.5 + 0.25 * pulse(t), 0};
    return k;
  }));
  b.objects.push_back(coreObject(d, {4, 7, -4}, 0.8, 0, true, 1.5));
  file.scenes.push_back(b);
  return file;
}

SceneFile worldBreak() {
  SceneFile file{kWorldModels, {}};
  // The metaballs need only the sub-window: a camera and a backdrop.
  Scene a{"metaball", {}};
  a.objects.push_back(camera(7.68, 1, [](double) { return V3{0, 0, -10}; }, [](double) { return V3{0, 0, 0}; }));
  a.objects.push_back(sky(7.68));
  file.scenes.push_back(a);
  // The centre piece alone, drifting in the dark, slow.
  Scene b{"blackgirl", {}};
  const double d = 7.68;
  b.objects.push_back(camera(d, 8, [](double t) { return orbit(8 + 0.4 * t, 2.5 + 0.12 * t, 1 + 0.4 * t); },
                             [](double) { return V3{0, 0.5, 0}; }, [](double t) { return 6 - 0.5 * t; }));
  b.objects.push_back(coreObject(d, {0, 0.5, 0}, 1.2, 1.5, false, 0.4));
  file.scenes.push_back(b);
  return file;
}

SceneFile worldFinale() {
  SceneFile file{kWorldModels, {}};
  const double d = 15.36;
  // A rising spiral over the whole valley, the towers' beacons on the beat.
  Scene a{"skycloud1", {}};
  a.objects.push_back(camera(d, 16, [](double t) { return orbit(44 - 0.8 * t, 0.7 + t * 0.28, 16 + t); },
                             [](double t) { return V3{0, 6 - 0.2 * t, 0}; }, [](double t) { return 14 - 0.5 * t; }));
  a.objects.push_back(sky(d));
  a.objects.push_back(ground(d));
  a.objects.push_back(templeObject(d, true, 8));
  a.objects.push_back(coreObject(d, {0, 12, 0}, 2.4, 0, true, 1.2));
  file.scenes.push_back(a);
  // Fast low orbit through the colonnade, the centre piece huge overhead.
  Scene b{"finale", {}};
  b.objects.push_back(camera(d, 48, [](double t) { return orbit(11 + 2 * std::sin(t * 0.8), -t * 0.6, 1.6 + 0.4 * std::sin(t)); },
                             [](double t) { return V3{0, 8 + std::sin(t * 0.5), 0}; },
                             [](double t) { return 22 + 10 * pulse(t); }, [](double t) { return 10 * std::sin(t * 0.5); }));
  b.objects.push_back(sky(d));
  b.objects.push_back(ground(d));
  b.objects.push_back(templeObject(d, true, 8));
  b.objects.push_back(coreObject(d, {0, 12, 0}, 2.0, 0, true, 2.5));
  file.scenes.push_back(b);
  return file;
}

SceneFile worldOutro() {
  SceneFile file{kWorldModels, {}};
  const double d = 11.52;
  Scene a{"outro", {}};
  a.objects.push_back(camera(d, 8, [](double t) { return V3{0, 5 + 2.5 * t, -16 - 3.5 * t}; },
                             [](double t) { return V3{0, 5 + 0.4 * t, 0}; }));
  a.objects.push_back(sky(d));
  a.objects.push_back(ground(d));
  a.objects.push_back(templeObject(d, false));
  a.objects.push_back(coreObject(d, {0, 6, 0}, 1.3, 0, false, 0.5));
  file.scenes.push_back(a);
  return file;
}

// Overlay files: fixed-view plates over a black plate, composed additively.
const std::vector<std::string> kOverlayModels = {"void", "flash", "title", "greetz"};
enum { kVoid, kFlash, kTitle, kGreetz };

Object stillCamera(double d) {
  return camera(d, 1, [](double) { return V3{0, 0, -10}; }, [](double) { return V3{0, 0, 0}; });
}
Object voidPlate(double d) { return still(kVoid, 0, d, {"void"}); }

// A file of black `idle` seconds, then a scene called `name` (a class adds
// its particles over the black).
SceneFile idleThen(double idle, const std::string& name, double d) {
  SceneFile file{kOverlayModels, {}};
  if (idle > 0) file.scenes.push_back({"idle", {stillCamera(idle), voidPlate(idle)}});
  file.scenes.push_back({name, {stillCamera(d), voidPlate(d)}});
  return file;
}

SceneFile titles() {
  SceneFile file{kOverlayModels, {}};
  const double d = 15.36;
  Scene s{"title", {stillCamera(d), voidPlate(d)}};
  s.objects.push_back(keyed(kTitle, 0, {0, 2.5, 4.5, 10.5, 13, 15.36}, {"title"}, [](const std::string&, double t) {
    Key k;
    k.alpha = smooth(2.5, 4.5, t) * (1 - smooth(10.5, 13, t));
    const double grow = 0.92 + 0.08 * t / 15.36;
    k.scale = {grow, grow, 1};
    k.pos = {0, 1.2 - 0.05 * t, 0};
    return k;
  }));
  file.scenes.push_back(s);
  return file;
}

// White flashes: a strong one on every bar, a faint one on the other beats.
SceneFile flashes() {
  SceneFile file{kOverlayModels, {}};
  const double d = 30.72;
  std::vector<double> times;
  for (int b = 0; b < 64; ++b) {
    times.push_back(b * kBeat);
    times.push_back(b * kBeat + 0.12);
    times.push_back(b * kBeat + 0.36);
  }
  times.push_back(d);
  Scene s{"pulse", {stillCamera(d), voidPlate(d)}};
  s.objects.push_back(keyed(kFlash, 0, times, {"flash"}, [&](const std::string&, double t) {
    Key k;
    const int beat = static_cast<int>(t / kBeat + 1e-6);
    const double phase = t - beat * kBeat;
    const double peak = beat % 4 == 0 ? 0.9 : 0.35;
    k.alpha = phase < 0.01 ? peak : (phase < 0.2 ? peak * 0.3 : 0);
    return k;
  }));
  file.scenes.push_back(s);
  return file;
}

SceneFile greetings() {
  SceneFile file{kOverlayModels, {}};
  const double d = 11.52;
  Scene s{"greetz", {stillCamera(d), voidPlate(d)}};
  s.objects.push_back(sampled(kGreetz, 0, d, 24, {"line0", "line1", "line2", "line3"}, [](const std::string& p, double t) {
    const int i = p.back() - '0';
    const double start = 0.5 + i * 1.6;
    Key k;
    k.alpha = smooth(start, start + 1.2, t) * (1 - smooth(9.5, 11.2, t));
    k.pos = {0, 2.6 - i * 1.5 + 0.4 * (1 - smooth(start, start + 1.5, t)), 0};
    return k;
  }));
  file.scenes.push_back(s);
  return file;
}

// The hologram line: the temple and the centre piece seen from a counter
// orbit, drawn with the line's override effect, added over the world.
SceneFile hologram() {
  SceneFile file{kWorldModels, {}};
  const double d = 30.72;
  Scene s{"holo", {}};
  s.objects.push_back(camera(d, 32, [](double t) { return orbit(18, 2 + t * 0.2, 6 + 2 * std::sin(t * 0.3)); },
                             [](double) { return V3{0, 6, 0}; }, [](double) { return 20.0; }));
  s.objects.push_back(still(kWorldVoid, 0, d, {"void"}));
  s.objects.push_back(templeObject(d, true, 8));
  s.objects.push_back(coreObject(d, {0, 10, 0}, 1.8, 2, true, 1.5));
  file.scenes.push_back(s);
  return file;
}

// Falling shards: the centre piece's shards alone, tumbling down the screen.
SceneFile shardRain() {
  SceneFile file{kWorldModels, {}};
  const double d = 15.36;
  Scene s{"fallheart", {}};
  s.objects.push_back(camera(d, 2, [](double t) { return V3{0, 0, -14 + 0.2 * t}; }, [](double) { return V3{0, 0, 0}; }));
  s.objects.push_back(still(kWorldVoid, 0, d, {"void"}));
  s.objects.push_back(sampled(kCore, 1, d, 64, kCoreParts, [](const std::string& p, double t) {
    Key k;
    if (p == "shards") {
      k.pos = {0, 6 - t * 0.8, 0};
      k.rot = {t * 0.4, t * 0.7, 0};
      k.alpha = smooth(0, 2, t) * (1 - smooth(13, 15.36, t));
      const double size = 1.4 + 0.3 * pulse(t);
      k.scale = {size, size, size};
    } else {
      k.alpha = 0;  // only the shards of this model (the others blend away)
    }
    return k;
  }));
  file.scenes.push_back(s);
  return file;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("usage: modelgen DIR\nWrites the production's models (DIR/data/model/*.mqo) and scene files\n"
               "(DIR/data/scene/*.qdf).\n",
               stderr);
    return 2;
  }
  const std::string dir = argv[1];
  bool ok = true;
  const std::pair<const char*, Model> models[] = {
      {"terrain", terrain()},
      {"temple", temple()},
      {"core", core()},
      {"boxfloor", boxfloor()},
      {"drone", drone()},
      {"backdrop", backdrop()},
      {"void", overlay("void", "", 40, 24, 0, 0, 0, true)},
      {"flash", overlay("flash", "data/texture/light3.png", 60, 40, 1, 0.95, 0.9, false)},
      {"title", overlay("title", "data/texture/title.tga", 7.5, 1.875, 1, 0.9, 0.8, false)},
      {"greetz", greetz()},
  };
  for (const auto& [name, model] : models) {
    const std::string path = dir + "/data/model/" + name + ".mqo";
    if (!writeModel(path, model)) {
      std::fprintf(stderr, "modelgen: %s: cannot write\n", path.c_str());
      ok = false;
    }
  }
  const std::pair<const char*, SceneFile> scenes[] = {
      {"world_intro", worldIntro()},   {"world_build", worldBuild()},   {"world_drop", worldDrop()},
      {"world_break", worldBreak()},   {"world_finale", worldFinale()}, {"world_outro", worldOutro()},
      {"titles", titles()},            {"pulse", flashes()},            {"greetz", greetings()},
      {"holo", hologram()},            {"shards", shardRain()},
      {"lightball", idleThen(7.68, "lightball", 7.68)},
      {"sparkle", idleThen(15.36, "hanescene1", 15.36)},
      {"whiteout", idleThen(7.68, "hanescene4", 7.68)},
      {"sprites", idleThen(0, "hanescene3", 30.72)},
  };
  for (const auto& [name, file] : scenes) {
    const std::string path = dir + "/data/scene/" + name + ".qdf";
    if (!writeScenes(path, file)) {
      std::fprintf(stderr, "modelgen: %s: cannot write\n", path.c_str());
      ok = false;
    }
  }
  return ok ? 0 : 1;
}
