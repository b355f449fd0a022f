// Between the pack and the folder source inside the file layer.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// With a folder open: true and the bytes of `pName` when the folder serves
// it; false otherwise, with `file` the file the folder would hold. Always
// false without a folder (`file` empty then).
bool readFolderEntry(const char* pName, std::vector<uint8_t>& out, std::string& file);
// Whether the pack may serve `pName`: always without a folder; with one,
// only the core files (data\core\...), which a folder may lack.
bool folderLendsToPack(const char* pName);
// Whether the installed pack holds `pName`.
bool packHasEntry(const char* pName);
