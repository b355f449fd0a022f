// The texture resource: picks a decoder by extension and uploads the result.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <vector>

#include "files/files.h"
#include "texture/decode.h"

namespace texture_decode {

Limits& limits() {
  static Limits value;
  return value;
}

bool sizeAllowed(uint64_t width, uint64_t height) {
  const Limits& l = limits();
  return width > 0 && height > 0 && width <= l.maxSide && height <= l.maxSide &&
         width * height <= l.maxTexels;
}

size_t MemoryReader::read(void* out, size_t count) {
  const size_t n = count < remaining() ? count : remaining();
  if (n) std::memcpy(out, mData + mPos, n);
  mPos += n;
  return n;
}

char* MemoryReader::getLine(char* buffer, size_t capacity) {
  if (capacity < 2 || isEof()) return nullptr;
  size_t n = 0;
  while (n < capacity - 1 && mPos < mSize) {
    const char c = static_cast<char>(mData[mPos++]);
    buffer[n++] = c;
    if (c == '\n') break;
  }
  buffer[n] = '\0';
  return buffer;
}

namespace {

std::string lowerCase(const std::string& text) {
  std::string out = text;
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

}  // namespace

Format formatForExtension(const std::string& extension) {
  const std::string ext = lowerCase(extension);
  if (ext == "bmp" || ext == "jpg" || ext == "jpeg" || ext == "gif") return Format::Picture;
  if (ext == "hdr") return Format::Rgbe;
  if (ext == "dds") return Format::Dds;
  if (ext == "tga") return Format::Tga;
  if (ext == "png") return Format::Png;
  return Format::None;
}

TexturePtr decode(Format format, const uint8_t* data, size_t size, std::string& reason) {
  switch (format) {
    case Format::Picture: return decodePicture(data, size, reason);
    case Format::Rgbe: return decodeRgbe(data, size, reason);
    case Format::Dds: return decodeDds(data, size, reason);
    case Format::Tga: return decodeTga(data, size, reason);
    case Format::Png: return decodePng(data, size, reason);
    case Format::None: break;
  }
  reason = "unsupported extension";
  return nullptr;
}

}  // namespace texture_decode

// ---------------------------------------------------------------------------

resTexture::~resTexture() { unload(); }

bool resTexture::canLoad(CoreFileStream& stream) {
  // "gif" decodes but is deliberately not claimed by extension.
  return hasExtension(stream, {"bmp", "jpg", "jpeg", "dds", "hdr", "tga", "png"});
}

bool resTexture::load(CoreFileStream& stream) {
  resourceObject::load(stream);
  // The whole entry is read once: the file layer does not stop reads at the
  // entry's end, so decoders only ever see these bytes. Read in steps that
  // stop at the pack's end, so a table claiming more than the pack holds
  // costs no more memory than the pack.
  const uint64_t size = stream.getSize();
  std::vector<uint8_t> bytes;
  if (size > 0 && size <= INT32_MAX) {
    stream.seek(0, 1);
    constexpr uint64_t kStep = 1u << 20;
    while (bytes.size() < size) {
      const size_t at = bytes.size();
      const int32_t want = static_cast<int32_t>(std::min<uint64_t>(size - at, kStep));
      bytes.resize(at + static_cast<size_t>(want));
      const int32_t n = stream.read(bytes.data() + at, want);
      bytes.resize(at + static_cast<size_t>(n > 0 ? n : 0));
      if (n < want) break;
    }
  }
  const size_t got = bytes.size();

  std::string reason;
  const texture_decode::Format format = texture_decode::formatForExtension(stream.getExtension());
  mTexture = texture_decode::decode(format, bytes.data(), got, reason);
  if (!mTexture) {
    std::fprintf(stderr, "texture: %s: %s\n", stream.getName().c_str(), reason.c_str());
    setProblem(0, reason);
    return false;
  }
  mTexture->upload();
  mTexture->releaseCopy();
  return true;
}

bool resTexture::swapContents(resourceObject& other) {
  auto* o = dynamic_cast<resTexture*>(&other);
  if (o == nullptr) return false;
  std::swap(mTexture, o->mTexture);
  swapProblem(other);
  return true;
}

bool resTexture::unload() {
  mTexture.reset();
  return true;
}
