// Between the pack and the folder source inside the file layer.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// With a folder open: true and the bytes of `pName` when the folder serves
// it; false otherwise, with `file` the file the folder would hold. Always
// false without a folder (`file` empty then).
bool readFolderEntry(const char* pName, std::vector<uint8_t>& out, std::string& file);
// Whether the installed pack holds `pName`.
bool packHasEntry(const char* pName);
