# Writes OUT, a C++ table of every file below ROOT (see new_templates.h),
# in sorted order so the output is the same on every machine.
file(GLOB_RECURSE files RELATIVE ${ROOT} ${ROOT}/*)
list(SORT files)
set(arrays "")
set(rows "")
set(index 0)
foreach(rel ${files})
  file(READ ${ROOT}/${rel} hex HEX)
  string(LENGTH "${hex}" length)
  math(EXPR size "${length} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  string(REGEX REPLACE "((0x..,){24})" "\\1\n    " bytes "${bytes}")
  string(APPEND arrays "const unsigned char file${index}[] = {\n    ${bytes}0};\n")
  string(APPEND rows "    {\"${rel}\", file${index}, ${size}},\n")
  math(EXPR index "${index} + 1")
endforeach()
file(WRITE ${OUT}.tmp "// Written by tools/embed_templates.cmake from templates/new.\n"
  "#include \"new_templates.h\"\n\nnamespace {\n${arrays}}  // namespace\n\n"
  "const NewTemplate kNewTemplates[] = {\n${rows}};\n"
  "const size_t kNewTemplateCount = ${index};\n")
# Unchanged text keeps its time stamp, so nothing recompiles.
file(COPY_FILE ${OUT}.tmp ${OUT} ONLY_IF_DIFFERENT)
file(REMOVE ${OUT}.tmp)
