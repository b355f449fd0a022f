// Pack file reading and writing, and the entry view CoreFile.
#include "files/files.h"
#include "files/folder_internal.h"

#include <algorithm>
#include <cctype>
#include <cstdarg>
#include <cstdlib>
#include <cerrno>
#include <climits>
#include <cstring>

VESPER_IMPLEMENT_DYNAMIC(CoreFile, CoreObject)
VESPER_IMPLEMENT_DYNAMIC(CoreFileStream, CoreObject)

namespace {

std::FILE* mPackageFp = nullptr;
PackHeader mPackHeader{};
std::vector<PackEntry> mPackEntries;
uint64_t mPackSize = 0;
std::string mPackSearchReport;

uint32_t readLe32(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

void putLe32(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

std::string extensionOf(const std::string& name) {
  const size_t lastSep = name.find_last_of("\\/");
  const size_t dot = name.rfind('.');
  return (dot != std::string::npos && (lastSep == std::string::npos || dot > lastSep)) ? name.substr(dot + 1)
                                                                                      : std::string();
}

const PackEntry* findPackEntry(const char* pName) {
  for (const PackEntry& e : mPackEntries) {
    if (pName != nullptr && std::strcmp(e.name, pName) == 0) return &e;
  }
  return nullptr;
}

}  // namespace

bool packHasEntry(const char* pName) { return findPackEntry(pName) != nullptr; }

const char* readPackTable(std::FILE* fp, PackHeader& header, std::vector<PackEntry>& entries,
                          uint64_t& fileSize) {
  entries.clear();
  header = PackHeader{};
  std::fseek(fp, 0, SEEK_END);
  const long end = std::ftell(fp);
  fileSize = end > 0 ? static_cast<uint64_t>(end) : 0;
  std::fseek(fp, 0, SEEK_SET);

  unsigned char raw[kPackHeaderSize] = {};
  const size_t got = std::fread(raw, 1, sizeof raw, fp);
  (void)got;  // a short header leaves zeros, which fail the checks below
  std::memcpy(header.header, raw, 8);
  header.version = readLe32(raw + 8);
  header.numEntries = readLe32(raw + 12);

  if (std::memcmp(header.header, szHeader, std::strlen(szHeader)) != 0) return critical::kPackHeader;
  if (header.version != kPackVersion) return critical::kPackVersion;
  // A table the file cannot hold is as invalid as an empty one.
  const uint64_t tableEnd = kPackHeaderSize + kPackEntrySize * static_cast<uint64_t>(header.numEntries);
  if (header.numEntries == 0 || tableEnd > fileSize) return critical::kPackEntries;

  entries.resize(header.numEntries);
  std::vector<unsigned char> table(kPackEntrySize * static_cast<size_t>(header.numEntries));
  if (std::fread(table.data(), 1, table.size(), fp) != table.size()) {
    entries.clear();
    return critical::kPackEntries;
  }
  for (uint32_t i = 0; i < header.numEntries; ++i) {
    const unsigned char* rec = table.data() + kPackEntrySize * i;
    PackEntry& e = entries[i];
    std::memcpy(e.name, rec, sizeof e.name);
    e.name[sizeof e.name - 1] = '\0';  // an unterminated name ends at the field
    e.offset = readLe32(rec + 256);
    e.size = readLe32(rec + 260);
  }
  return nullptr;
}

const char* installPackage(std::FILE* fp) {
  PackHeader header;
  std::vector<PackEntry> entries;
  uint64_t size = 0;
  if (const char* error = readPackTable(fp, header, entries, size)) {
    std::fclose(fp);
    return error;
  }
  closePackage();
  mPackageFp = fp;
  mPackHeader = header;
  mPackEntries = std::move(entries);
  mPackSize = size;
  return nullptr;
}

void setPackSearchReport(std::string text) { mPackSearchReport = std::move(text); }

void openPackage() {
  std::FILE* fp = std::fopen("vesper.pak", "rb");
  if (!fp) std::fputs(mPackSearchReport.c_str(), stderr);
  CoreDebug::criticalCheck(critical::kPackOpen, fp != nullptr);
  if (const char* error = installPackage(fp)) CoreDebug::criticalError(error);
}

void closePackage() {
  if (mPackageFp) std::fclose(mPackageFp);
  mPackageFp = nullptr;
}

const std::vector<PackEntry>& packEntries() { return mPackEntries; }

bool writePack(const std::string& path, const std::vector<PackSource>& files, std::string& error) {
  if (files.empty()) {
    error = "a pack needs at least one entry";
    return false;
  }
  uint64_t offset = kPackHeaderSize + kPackEntrySize * static_cast<uint64_t>(files.size());
  std::vector<uint8_t> out;
  out.insert(out.end(), szHeader, szHeader + 8);
  putLe32(out, kPackVersion);
  putLe32(out, static_cast<uint32_t>(files.size()));
  for (const PackSource& f : files) {
    if (f.name.empty() || f.name.size() > 255) {
      error = "entry name must be 1 to 255 bytes: \"" + f.name + "\"";
      return false;
    }
    if (offset + f.data.size() > UINT32_MAX) {
      error = "pack would exceed 4 GiB at \"" + f.name + "\"";
      return false;
    }
    char name[256] = {};
    std::memcpy(name, f.name.data(), f.name.size());
    out.insert(out.end(), name, name + 256);
    putLe32(out, static_cast<uint32_t>(offset));
    putLe32(out, static_cast<uint32_t>(f.data.size()));
    offset += f.data.size();
  }
  for (const PackSource& f : files) out.insert(out.end(), f.data.begin(), f.data.end());

  const std::string tmp = path + ".tmp";
  std::FILE* fp = std::fopen(tmp.c_str(), "wb");
  if (!fp) {
    error = "cannot write " + tmp + ": " + std::strerror(errno);
    return false;
  }
  const bool ok = std::fwrite(out.data(), 1, out.size(), fp) == out.size();
  if (std::fclose(fp) != 0 || !ok) {
    std::remove(tmp.c_str());
    error = "cannot write " + tmp;
    return false;
  }
  // Replace the target only once the new pack is complete.
  if (std::rename(tmp.c_str(), path.c_str()) != 0) {
    std::remove(tmp.c_str());
    error = "cannot rename " + tmp + " to " + path + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

// ---------------------------------------------------------------------------

CoreFile::CoreFile() = default;

CoreFile::CoreFile(const char* pName, int mode) { open(pName, mode); }

CoreFile::~CoreFile() = default;

void CoreFile::open(const char* pName, int mode) {
  CoreDebug::criticalCheck(critical::kPackWriteMode, mode == MODE_READ, pName);
  std::string folderFile;
  mMemory = readFolderEntry(pName, mData, folderFile);
  if (mMemory) {
    name = pName;
    extension = extensionOf(name);
    handle = nullptr;
    size = static_cast<uint32_t>(mData.size());
    position = 0;
    return;
  }
  const PackEntry* found = folderLendsToPack(pName) ? findPackEntry(pName) : nullptr;
  const bool isFound = found != nullptr;
  // What a source folder lacks is named by its file, not its entry.
  CoreDebug::criticalCheck(critical::kFileNotFound, isFound, folderFile.empty() ? pName : folderFile.c_str());

  entry = *found;
  name = entry.name;
  extension = extensionOf(name);
  handle = mPackageFp;
  size = entry.size;
  position = 0;
}

void CoreFile::seekToPosition() const {
  if (!handle) return;
  const uint64_t absolute = static_cast<uint64_t>(entry.offset) + position;
  // Positions beyond what fseek's long can address land at the pack end.
  const long target = absolute > static_cast<uint64_t>(LONG_MAX) ? LONG_MAX : static_cast<long>(absolute);
  std::fseek(handle, target, SEEK_SET);
}

int32_t CoreFile::read(void* buffer, int32_t count, uint32_t) {
  if (count <= 0 || buffer == nullptr) return 0;
  if (inMemory()) {
    const uint32_t start = std::min<uint32_t>(position, size);
    const uint32_t got = std::min<uint32_t>(static_cast<uint32_t>(count), size - start);
    if (got > 0) std::memcpy(buffer, mData.data() + start, got);
    position += static_cast<uint32_t>(count);
    return static_cast<int32_t>(got);
  }
  if (handle == nullptr) return 0;
  seekToPosition();
  position += static_cast<uint32_t>(count);
  return static_cast<int32_t>(std::fread(buffer, 1, static_cast<size_t>(count), handle));
}

int32_t CoreFile::write(const void*, int32_t, uint32_t) {
  CoreDebug::criticalError(critical::kWriteUnsupported, name.c_str());
}

int32_t CoreFile::seek(int64_t offset, uint8_t origin) {
  const uint32_t low = static_cast<uint32_t>(offset);
  if (origin == 0) {
    position = low;
  } else if (origin == 1) {
    position += low;
  } else if (origin == 2) {
    CoreDebug::criticalError(critical::kNotSupported, name.c_str());
  }
  return 0;
}

const std::string& CoreFile::getName() const { return name; }
const std::string& CoreFile::getExtension() const { return extension; }

int CoreFile::getChar() {
  if (inMemory()) {
    const uint32_t at = position++;
    return at < size ? mData[at] : EOF;
  }
  if (!handle) return EOF;
  seekToPosition();
  position += 1;
  return std::fgetc(handle);
}

int CoreFile::ungetChar(int c) {
  position -= 1;
  return c;
}

char* CoreFile::getLine(char* buffer, int32_t capacity) {
  if ((!handle && !inMemory()) || buffer == nullptr || capacity <= 1) return nullptr;
  seekToPosition();
  int32_t n = 0;
  uint32_t at = position;
  while (n < capacity - 1) {
    const int c = inMemory() ? (at < size ? mData[at++] : EOF) : std::fgetc(handle);
    if (c == EOF) break;
    buffer[n++] = static_cast<char>(c);
    if (c == '\n') break;
  }
  if (n == 0) return nullptr;
  buffer[n] = '\0';
  position += static_cast<uint32_t>(n);
  return buffer;
}

int CoreFile::isEof() const { return position >= size ? 1 : 0; }

// ---------------------------------------------------------------------------

int32_t CoreFileStream::read(void* buffer, int32_t count, uint32_t unused) {
  return mFile ? mFile->read(buffer, count, unused) : 0;
}
int32_t CoreFileStream::write(const void* buffer, int32_t count, uint32_t flags) {
  return mFile ? mFile->write(buffer, count, flags) : 0;
}
uint64_t CoreFileStream::getSize() const { return mFile ? mFile->getSize() : 0; }
const std::string& CoreFileStream::getName() const {
  static const std::string empty;
  return mFile ? mFile->getName() : empty;
}
const std::string& CoreFileStream::getExtension() const {
  static const std::string empty;
  return mFile ? mFile->getExtension() : empty;
}
int CoreFileStream::getChar() { return mFile ? mFile->getChar() : EOF; }
int CoreFileStream::ungetChar(int c) { return mFile ? mFile->ungetChar(c) : EOF; }
char* CoreFileStream::getLine(char* buffer, int32_t capacity) {
  return mFile ? mFile->getLine(buffer, capacity) : nullptr;
}
bool CoreFileStream::hasError() const { return mFile ? mFile->hasError() : false; }
int CoreFileStream::isEof() const { return mFile ? mFile->isEof() : 1; }

int32_t CoreFileStream::seek(int64_t offset, uint8_t origin) {
  if (!mFile) return 0;
  static constexpr uint8_t kToFileOrigin[3] = {1, 0, 2};
  return mFile->seek(offset, origin < 3 ? kToFileOrigin[origin] : origin);
}

int CoreFileStream::scan(const char* format, ...) {
  if (!mFile || format == nullptr) return 0;
  va_list args;
  va_start(args, format);

  // -1 marks the end of the pack's data, where no byte can follow.
  auto next = [this]() -> int {
    unsigned char c = 0;
    return read(&c, 1) == 1 ? c : -1;
  };
  auto isBreak = [](int c) { return c == '\t' || c == '\r' || c == '\n' || c == 0 || c == -1; };
  int look = next();
  std::string token;
  auto readToken = [&]() {
    token.clear();
    while (look != -1 && (look == ' ' || isBreak(look))) look = next();
    while (!isBreak(look) && !(look == ' ' && !token.empty())) {
      if (token.size() < 4095) token.push_back(static_cast<char>(look));
      look = next();
    }
  };

  bool armed = false;
  for (const char* f = format; *f; ++f) {
    if (!armed) {
      armed = *f == '%';
      continue;
    }
    armed = false;
    switch (std::toupper(static_cast<unsigned char>(*f))) {
      case 'D':
        readToken();
        *va_arg(args, int32_t*) = static_cast<int32_t>(std::strtol(token.c_str(), nullptr, 10));
        break;
      case 'F':
        readToken();
        *va_arg(args, float*) = std::strtof(token.c_str(), nullptr);
        break;
      case 'S': {
        readToken();
        char* out = va_arg(args, char*);
        std::memcpy(out, token.c_str(), token.size() + 1);
        break;
      }
      default:
        break;
    }
  }
  va_end(args);
  return 0;
}

std::vector<char> loadEntryText(const char* pName) {
  CoreFile file(pName, MODE_READ);
  uint64_t available = file.getSize();
  if (!file.fromFolder()) {
    const PackEntry* e = findPackEntry(pName);
    available = e->offset < mPackSize ? mPackSize - e->offset : 0;
  }
  const uint64_t bytes = std::min<uint64_t>(file.getSize(), available);
  std::vector<char> text(static_cast<size_t>(bytes) + 1, '\0');
  if (bytes > 0) file.read(text.data(), static_cast<int32_t>(std::min<uint64_t>(bytes, INT32_MAX)));
  return text;
}
