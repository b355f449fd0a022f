// File layer: read-only access to the entries of the pack file "vesper.pak",
// or of a source folder in the pack's layout (see openFolder). One
// process-wide pack is open between openPackage() and closePackage(); every
// CoreFile of it shares its handle and seeks before each operation.
// Main thread only.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "core/core.h"

inline constexpr int MODE_READ = 2;

// On-disk layout; every integer is unsigned 32-bit little-endian.
struct PackHeader {
  char header[8];  // "NOVAPACK", no terminator
  uint32_t version;
  uint32_t numEntries;
};
struct PackEntry {
  char name[256];  // NUL-terminated, backslash separators
  uint32_t offset;
  uint32_t size;
};
inline constexpr size_t kPackHeaderSize = 16;
inline constexpr size_t kPackEntrySize = 264;
inline constexpr uint32_t kPackVersion = 1;
inline constexpr char szHeader[] = "NOVAPACK";

// Opens "vesper.pak" in the working directory, validates it and reads the
// entry table. Every problem is a critical error.
void openPackage();
// Text written to stderr before the critical error when openPackage finds
// no pack (the places the program looked for one); empty: nothing.
void setPackSearchReport(std::string text);
// Validates and installs an already open pack (takes ownership of `fp`).
// Returns null on success, otherwise the critical error text describing the
// problem; nothing is installed then and `fp` is closed. Never exits.
const char* installPackage(std::FILE* fp);
// Closes the pack handle; the entry table stays until process exit.
void closePackage();
// The installed entry table, in file order (empty before openPackage).
const std::vector<PackEntry>& packEntries();

// Reads header and table from `fp` without installing anything. The table
// must fit inside the file. Returns null or the critical error text.
const char* readPackTable(std::FILE* fp, PackHeader& header, std::vector<PackEntry>& entries,
                          uint64_t& fileSize);

// One file for the pack writer.
struct PackSource {
  std::string name;  // entry name as the engine asks for it
  std::vector<uint8_t> data;
};
// Writes a pack holding `files` in the given order. Returns false and sets
// `error` when the file cannot be written or a name does not fit.
bool writePack(const std::string& path, const std::vector<PackSource>& files, std::string& error);

// ---------------------------------------------------------------------------
// The source folder: the pack's layout with '/' folders. While one is open,
// the entry "data\x\y.z" is the file DIR/data/x/y.z (names compared
// exactly, as the pack compares them); an entry whose file is absent but
// that a derivation builds from a file beside it is built in memory (a
// binary model from its text model); a core file (data\core\...) the folder
// lacks comes from the pack, if one is installed (the installed
// production's). An entry found
// in neither is the pack's critical error, naming the file the folder lacks
// (for a derived entry, the file it would be built from: x.mqo).

// A problem of a source file: what vesper-check would print for it.
struct FileProblem {
  std::string file;  // the file on disk
  int line = 0;      // 0: no line
  std::string reason;
  // "FILE:LINE: reason", or "FILE: reason" without a line.
  std::string text() const;
};

// Builds an entry from the text of the source file at `path`; false with
// `problem` (reason, line) when the source is bad. Warnings go to stderr.
using EntryDerivation = bool (*)(const std::string& path, const std::vector<char>& text,
                                 std::vector<uint8_t>& out, FileProblem& problem);

// Serves entries from `dir` from now on (before the pack, if any).
void openFolder(const std::string& dir);
void closeFolder();
// The open folder's directory; empty when none is open.
const std::string& folderDir();
// Entries ending in ".`entryExtension`" the folder lacks are built by
// `derive` from the file with `sourceExtension` instead.
void addFolderDerivation(const char* entryExtension, const char* sourceExtension, EntryDerivation derive);
// The file on disk that serves `entry` now (the source of a derived entry),
// or empty when the folder does not serve it.
std::string folderFileOf(const std::string& entry);
// The files on disk read since openFolder, each once, in the order first
// read, with the entry each served.
struct FolderRead {
  std::string file;
  std::string entry;
};
const std::vector<FolderRead>& folderReads();
// The problems of derivations since the last call. A derivation that fails
// serves an empty entry, which the resource layer loads as nothing, and
// writes its problem to stderr.
std::vector<FileProblem> takeFolderProblems();

// Whether `pName` can be opened (from the folder or the pack).
bool entryExists(const char* pName);

// A read-only window onto one pack entry (or one file of the folder, held
// in memory).
class CoreFile : public CoreObject {
  VESPER_DECLARE_DYNAMIC(CoreFile)
 public:
  CoreFile();
  // Opens the named entry at once; a mode other than MODE_READ or a name that
  // is not in the pack is a critical error.
  CoreFile(const char* pName, int mode);
  virtual ~CoreFile();

  // Reads `count` bytes at the current position; the position advances by
  // `count` even when fewer bytes exist. Not clamped to the entry: bytes
  // after the entry are whatever the pack stores there. Returns bytes read.
  virtual int32_t read(void* buffer, int32_t count, uint32_t unused = 0);
  virtual int32_t write(const void* buffer, int32_t count, uint32_t flags);
  // Origin 0: from the entry start, 1: from the current position; 2 (from the
  // end) is a critical error; others do nothing. Always returns 0.
  virtual int32_t seek(int64_t offset, uint8_t origin);
  virtual const std::string& getName() const;
  virtual const std::string& getExtension() const;
  virtual int getChar();
  virtual int ungetChar(int c);
  // Reads up to capacity-1 bytes, stopping after a line feed; null at the end
  // of the data.
  virtual char* getLine(char* buffer, int32_t capacity);
  virtual bool hasError() const { return false; }
  virtual int isEof() const;

  uint64_t getSize() const { return size; }
  uint32_t getPosition() const { return position; }
  // Read from a source folder's file rather than the pack.
  bool fromFolder() const { return mMemory; }

  // Opens the named entry (used by the constructor).
  void open(const char* pName, int mode);

 private:
  void seekToPosition() const;
  bool inMemory() const { return handle == nullptr && mMemory; }

  std::FILE* handle = nullptr;
  bool mMemory = false;  // a folder file: the bytes below, nothing after them
  std::vector<uint8_t> mData;
  uint32_t size = 0;
  std::string name;
  std::string extension;
  uint32_t position = 0;
  PackEntry entry{};
};

// Forwarding wrapper handed to resources. Its seek origins differ from the
// file's: 0 = current position, 1 = entry start, 2 = entry end. Does not own
// the file; the creator destroys the stream first.
class CoreFileStream : public CoreObject {
  VESPER_DECLARE_DYNAMIC(CoreFileStream)
 public:
  CoreFileStream() = default;
  explicit CoreFileStream(CoreFile* file) : mFile(file) {}
  virtual ~CoreFileStream() = default;

  virtual int32_t read(void* buffer, int32_t count, uint32_t unused = 0);
  virtual int32_t write(const void* buffer, int32_t count, uint32_t flags);
  virtual bool isOpen() const { return mFile != nullptr; }
  virtual bool isValid() const { return mFile != nullptr; }
  virtual uint64_t getSize() const;
  virtual const std::string& getName() const;
  virtual const std::string& getExtension() const;
  virtual int getChar();
  virtual int ungetChar(int c);
  virtual char* getLine(char* buffer, int32_t capacity);
  virtual bool hasError() const;
  virtual int isEof() const;
  // Minimal formatted reader: %d (int32_t*), %f (float*), %s (char*, caller
  // sizes it for the longest token). Returns 0.
  virtual int scan(const char* format, ...);
  virtual int32_t seek(int64_t offset, uint8_t origin);

  CoreFile* file() const { return mFile; }

 private:
  CoreFile* mFile = nullptr;
};

// Loads a whole entry as NUL-terminated text: the entry's bytes followed by
// at least one zero byte. Bytes an entry claims beyond the pack's end do not
// exist and are not allocated. A missing name is a critical error.
std::vector<char> loadEntryText(const char* pName);
