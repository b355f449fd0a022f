// The files vesper-new writes, embedded from templates/new at build time
// (tools/embed_templates.cmake writes the table).
#pragma once

#include <cstddef>

struct NewTemplate {
  const char* path;  // relative to the new production's folder, '/' separated
  const unsigned char* data;
  size_t size;
};

extern const NewTemplate kNewTemplates[];
extern const size_t kNewTemplateCount;
