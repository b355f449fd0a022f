// Leaf-parameter flattening and GLSL program generation for parsed effects.
#include <set>

#include "shader/effect_source.h"

namespace fx {

namespace {

constexpr int kMaxStructDepth = 8;
// Arrays of structs of arrays multiply; a table this long is no real effect.
constexpr size_t kMaxLeaves = 4096;

const StructDecl* findStruct(const EffectSource& source, const std::string& name) {
  for (const auto& s : source.structs) {
    if (s.name == name) return &s;
  }
  return nullptr;
}

// Appends the leaves of one value of `typeName` called `name`; `init` and
// `used` distribute a flat initialiser over the leaves in order.
bool flattenValue(const EffectSource& source, const std::string& typeName, const std::string& name,
                  int arraySize, const std::string& semantic, const ParamDecl& decl, size_t& used,
                  int depth, std::vector<LeafParam>& leaves, std::string& error) {
  if (depth > kMaxStructDepth) {
    error = "'" + decl.name + "' nests structs too deeply";
    return false;
  }
  if (leaves.size() >= kMaxLeaves) {
    error = "more than " + std::to_string(kMaxLeaves) + " leaf parameters";
    return false;
  }
  if (arraySize > 0) {
    for (int i = 0; i < arraySize; ++i) {
      if (!flattenValue(source, typeName, name + "[" + std::to_string(i) + "]", 0, semantic, decl, used,
                        depth + 1, leaves, error))
        return false;
    }
    return true;
  }
  TypeInfo type;
  if (builtinType(typeName, type)) {
    LeafParam leaf;
    leaf.name = name;
    leaf.semantic = semantic;
    leaf.type = type;
    leaf.decl = &decl;
    const size_t n = static_cast<size_t>(type.components());
    if (type.base != BaseType::String && used < decl.init.size()) {
      leaf.init.assign(decl.init.begin() + static_cast<std::ptrdiff_t>(used),
                       decl.init.begin() + static_cast<std::ptrdiff_t>(std::min(decl.init.size(), used + n)));
      // A single value initialises every component, as in "float4 c = 0;".
      if (decl.init.size() == 1 && n > 1) leaf.init.assign(n, decl.init[0]);
      used += n;
    }
    leaves.push_back(std::move(leaf));
    return true;
  }
  const StructDecl* s = findStruct(source, typeName);
  if (!s) {
    error = "unknown type '" + typeName + "'";
    return false;
  }
  for (const auto& m : s->members) {
    if (!flattenValue(source, m.typeName, name + "." + m.name, m.arraySize, m.semantic, decl, used,
                      depth + 1, leaves, error))
      return false;
  }
  return true;
}

}  // namespace

bool flattenParameters(const EffectSource& source, std::vector<LeafParam>& leaves, std::string& error) {
  leaves.clear();
  for (const auto& p : source.params) {
    size_t used = 0;
    if (!flattenValue(source, p.typeName, p.name, p.arraySize, p.semantic, p, used, 0, leaves, error))
      return false;
  }
  return true;
}

namespace {

// The GLSL spelling of every Cg-only type name the file uses.
std::string glslSpelling(const std::string& cgName) {
  TypeInfo t;
  if (!builtinType(cgName, t)) return cgName;
  switch (t.base) {
    case BaseType::SamplerCube: return "samplerCube";
    case BaseType::SamplerRect: return "sampler2DRect";
    default: break;
  }
  const bool integer = t.base == BaseType::Int;
  const bool boolean = t.base == BaseType::Bool;
  if (t.rows == 1) {
    if (t.cols == 1) return integer ? "int" : boolean ? "bool" : "float";
    return std::string(integer ? "ivec" : boolean ? "bvec" : "vec") + std::to_string(t.cols);
  }
  // Cg RxC (rows first) is GLSL matCxR (columns first).
  if (t.rows == t.cols) return "mat" + std::to_string(t.rows);
  return "mat" + std::to_string(t.cols) + "x" + std::to_string(t.rows);
}

// In GLSL 1.20 the line after "#line N" is line N + 1.
std::string lineDirective(int line) { return "#line " + std::to_string(line - 1) + "\n"; }

void appendChunk(std::string& out, std::string_view text, const CodeChunk& c) {
  out += lineDirective(c.line);
  out.append(text.substr(c.begin, c.end - c.begin));
  out += "\n";
}

}  // namespace

bool generateProgram(std::string_view text, const EffectSource& source, const std::string& entry,
                     Stage stage, std::string& out) {
  // Functions reachable from the entry, by name (overloads come along).
  std::set<std::string> reach;
  std::vector<std::string> todo{entry};
  bool found = false;
  while (!todo.empty()) {
    const std::string name = todo.back();
    todo.pop_back();
    if (!reach.insert(name).second) continue;
    for (const auto& c : source.chunks) {
      if (c.kind != CodeChunk::Function || c.name != name) continue;
      found = found || name == entry;
      for (const auto& call : c.calls) todo.push_back(call);
    }
  }
  if (!found) return false;

  out = "#version 120\n";
  bool rect = false;
  for (const auto& p : source.params) {
    TypeInfo t;
    rect = rect || (builtinType(p.typeName, t) && t.base == BaseType::SamplerRect);
  }
  if (rect) out += "#extension GL_ARB_texture_rectangle : enable\n";
  for (const auto& n : source.cgTypeNames) out += "#define " + n + " " + glslSpelling(n) + "\n";
  // Preprocessor lines and structs come first so that struct-typed
  // parameters can be declared; then every parameter; then the rest.
  for (const auto& c : source.chunks) {
    // The file's own #version would clash with the generated one.
    if (c.kind == CodeChunk::Preprocessor && text.substr(c.begin).rfind("#version", 0) == 0) continue;
    if (c.kind == CodeChunk::Preprocessor || c.kind == CodeChunk::Struct) appendChunk(out, text, c);
  }
  for (const auto& c : source.chunks) {
    if (c.kind != CodeChunk::Parameter) continue;
    const ParamDecl& p = source.params[static_cast<size_t>(c.param)];
    if (p.typeName == "string") continue;
    out += lineDirective(c.line) + "uniform " + p.typeName + " " + p.name;
    if (p.arraySize > 0) out += "[" + std::to_string(p.arraySize) + "]";
    out += ";\n";
  }
  for (const auto& c : source.chunks) {
    if (c.kind == CodeChunk::Global) {
      if (!c.attribute || stage == Stage::Vertex) appendChunk(out, text, c);
    } else if (c.kind == CodeChunk::Function && reach.count(c.name)) {
      appendChunk(out, text, c);
    }
  }
  if (entry != "main") out += "void main() { " + entry + "(); }\n";
  return true;
}

}  // namespace fx
