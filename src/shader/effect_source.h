// Effect files: the parsed form of a CgFX-structured effect whose program code
// is GLSL 1.20, and the pure (GL-free) steps built on it: leaf-parameter
// flattening and program text generation. Internal to src/shader/, tools,
// tests and fuzzing. Parsing never ends the process; bad input is a
// ParseError with a line number.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace fx {

// Base kinds of parameter types. Cg spellings and their GLSL twins map here.
enum class BaseType : uint8_t {
  Float,
  Half,
  Fixed,
  Int,
  Bool,
  Sampler1D,
  Sampler2D,
  Sampler3D,
  SamplerCube,
  SamplerRect,
  String,
  Struct,
};

// rows x cols: scalars are 1x1, vectors 1xN, matrices RxC (Cg row count first).
struct TypeInfo {
  BaseType base = BaseType::Float;
  uint8_t rows = 1;
  uint8_t cols = 1;
  bool isSampler() const { return base >= BaseType::Sampler1D && base <= BaseType::SamplerRect; }
  bool isMatrix() const { return rows > 1; }
  int components() const { return rows * cols; }
};

// Recognises a built-in type name (Cg or GLSL); false for anything else.
bool builtinType(std::string_view name, TypeInfo& out);
// Readable name of a type for tools ("float4", "float4x4", "sampler2D", ...).
std::string typeName(const TypeInfo& type);

struct Annotation {
  std::string type;
  std::string name;
  std::string value;  // tokens joined by spaces; string literals without quotes
};

// One `NAME = VALUE;` inside a pass or a sampler_state block.
struct Assignment {
  std::string name;
  std::vector<std::string> values;  // identifiers and numbers, constructors and braces dropped
  int line = 0;
};

struct StructMember {
  std::string typeName;
  std::string name;
  int arraySize = 0;  // 0: not an array
  std::string semantic;
};

struct StructDecl {
  std::string name;
  std::vector<StructMember> members;
};

// A top-level parameter declaration.
struct ParamDecl {
  std::string typeName;  // as written
  std::string name;
  int arraySize = 0;
  std::string semantic;
  std::vector<Annotation> annotations;
  std::vector<float> init;  // numeric initialiser, flattened in order
  std::string initString;   // string initialiser
  bool hasInit = false;
  std::vector<Assignment> samplerStates;
  int line = 0;
};

struct PassDecl {
  std::string name;
  std::vector<Assignment> states;  // program assignments excluded
  std::string vertexEntry;         // empty: fixed-function vertex stage
  std::string fragmentEntry;
  int line = 0;
};

struct TechniqueDecl {
  std::string name;
  std::vector<Annotation> annotations;
  std::vector<PassDecl> passes;
  int line = 0;
};

// A piece of GLSL code kept verbatim for program generation.
struct CodeChunk {
  enum Kind : uint8_t { Preprocessor, Struct, Global, Function, Parameter };
  Kind kind = Global;
  size_t begin = 0;  // byte range in the source text
  size_t end = 0;
  int line = 0;
  bool attribute = false;           // vertex programs only
  std::string name;                 // function name
  std::vector<std::string> calls;   // identifiers called from the body
  int param = -1;                   // Parameter chunks: index into params
};

struct EffectSource {
  std::vector<StructDecl> structs;
  std::vector<ParamDecl> params;
  std::vector<TechniqueDecl> techniques;
  std::vector<CodeChunk> chunks;  // file order
  std::vector<std::string> cgTypeNames;  // Cg-only type names the code uses
};

struct ParseError {
  int line = 0;
  std::string message;
};

// Parses a whole effect. On failure `error` tells where and why; `out` is
// then incomplete.
bool parseEffect(std::string_view text, EffectSource& out, ParseError& error);

// A leaf parameter: a non-struct, non-array value named as GLSL addresses it
// ("light.color", "bones[3]", "lights[1].pos").
struct LeafParam {
  std::string name;
  std::string semantic;
  TypeInfo type;
  std::vector<float> init;  // empty: zero
  const ParamDecl* decl = nullptr;  // the top-level declaration it belongs to
};

// Flattens structs and arrays to leaves in declaration order. False with a
// reason when a struct is unknown or nests too deeply.
bool flattenParameters(const EffectSource& source, std::vector<LeafParam>& leaves,
                       std::string& error);

enum class Stage { Vertex, Fragment };

// Generates the GLSL program text of one stage with `entry` as its body.
// False when no function of that name exists.
bool generateProgram(std::string_view text, const EffectSource& source, const std::string& entry,
                     Stage stage, std::string& out);

}  // namespace fx
