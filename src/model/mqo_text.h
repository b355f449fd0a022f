// Metasequoia text models (".mqo", format 1.0 and 1.1) read into the
// in-memory model, ready for the binary model writer. Used by the converter
// tool, tests and fuzzing; the engine itself only reads binary models. Never
// touches GL; reads only [text, text + size); bad input is a reason and the
// line it was found on, never an abort.
//
// What is kept: the Material chunk (col, dif, amb, emi, spc, power, shader,
// tex, and this converter's own attributes effect("...") and tex2("...")),
// every Object's vertex/BVertex and face chunks with depth and facet. Other
// chunks, attributes and statements are skipped. Rules:
// - Metasequoia writes a face's corners clockwise seen from the face's
//   front; the player's front faces run counter-clockwise. Each face's
//   corners are reversed (indices and UVs together), which turns the face
//   round without mirroring the model.
// - Faces of 3 corners stay triangles; 4 or more corners are fanned into
//   triangles from the first corner of the reversed order (the last one
//   written; a binary model face draws only its first three corners); faces
//   of 1 or 2 corners are dropped.
// - M(-1) or no M() means material 0; with no Material chunk the model gets
//   one default material (Metasequoia's defaults). Attributes a material
//   leaves out take those defaults too.
// - An object with mirror n != 0 is mirrored along each axis bit of
//   mirror_axis (1 x, 2 y, 4 z; absent: x): mirrored vertices and faces with
//   reversed winding are appended. mirror 2 (connected) reuses the vertices
//   that lie on the mirror plane.
// - Objects whose name starts with '>' are named points, not meshes: their
//   first vertex is the point, keyed by the name without leading '>'.
// - visible 0 objects (helpers, bones, construction shapes) are left out,
//   as Metasequoia does not show them, unless options.keepHidden; each one
//   left out gives a note.
// - Material attributes that are not kept give one note per attribute name.
// - Names and paths stay raw bytes (Shift-JIS, or UTF-8 after "CodePage utf8").
// - Texture and effect paths become pack names (mqoPackName).
// - Positions are copied as written (z is not negated).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "files/files.h"
#include "model/model.h"

struct MqoReadOptions {
  bool keepHidden = false;  // keep visible 0 objects
};

// Something the reader left out or changed that the author should hear of;
// `line` is 0 when the note is about the whole file.
struct MqoNote {
  int line = 0;
  std::string text;
};

// Parses a whole .mqo text into `out` (which must be empty): materials,
// objects with positions and faces (normals left empty: the binary reader
// computes them) and points. False with `error` and the 1-based `errorLine`;
// `out` is then left empty. `notes`, when given, receives the notes in file
// order (also on failure, up to the error).
bool parseMqoText(const char* text, size_t size, MqoModel& out, std::string& error, int& errorLine,
                  const MqoReadOptions& options = {}, std::vector<MqoNote>* notes = nullptr);

// A path written in a .mqo as a pack name: '/' and '\' both separate, empty
// and "." components are dropped, components are joined with '\'. So
// "data/texture/a.png" and "data\texture\a.png" both name
// "data\texture\a.png". Absolute paths and ".." are refused with a reason.
// `shiftJis`: a Shift-JIS lead byte carries the byte after it, which may be
// 0x5C, into the component.
bool mqoPackName(std::string_view path, bool shiftJis, std::string& out, std::string& reason);

// A .mqo text converted as mqo2bmdl converts it: parsed, written as a binary
// model and read back with the engine's reader, which must accept it. False
// with `error` and `errorLine` (0: no line); `out` is then empty.
bool convertMqoText(const char* text, size_t size, std::vector<uint8_t>& out, std::string& error, int& errorLine,
                    const MqoReadOptions& options = {}, std::vector<MqoNote>* notes = nullptr);

// The file layer's derivation of a binary model entry from the .mqo file
// beside it (see addFolderDerivation): notes go to stderr as
// "PATH:LINE: note", as mqo2bmdl writes them.
bool deriveBinaryModel(const std::string& path, const std::vector<char>& text, std::vector<uint8_t>& out,
                       FileProblem& problem);
