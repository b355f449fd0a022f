// The .mqo to .bmdl conversion shared by mqo2bmdl and vesper-build, and the
// file helpers both use: every problem comes back as lines "FILE:LINE: text"
// naming the .mqo, so each tool prints them the same way.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "model/mqo_text.h"

namespace mqo_convert {

struct Result {
  bool ok = false;
  std::vector<uint8_t> bmdl;        // the binary model, when ok
  std::vector<std::string> notes;   // "FILE:LINE: warning ..." / "FILE: ..." lines, in order
  std::string error;                // "FILE:LINE: reason" when not ok
};

// Converts the text of `file` (named in the messages) and reads the binary
// result back with the engine's reader before calling it good.
Result convert(const std::vector<char>& text, const std::string& file, const MqoReadOptions& options = {});

// The whole file; false (errno set) when it cannot be read.
bool readWhole(const std::string& path, std::vector<char>& out);
// Writes `data` to `path` via a temporary file in the same directory, so a
// failure leaves what was there. False with the reason.
bool writeReplacing(const std::string& path, const void* data, size_t size, std::string& reason);

}  // namespace mqo_convert
