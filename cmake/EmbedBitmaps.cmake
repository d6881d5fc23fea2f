# Turns the palette bitmaps into a C++ source of byte arrays with a table by resource name.
# cmake -DINPUT_DIR=<dir of .bmp files> -DOUTPUT=<file.cpp> -P EmbedBitmaps.cmake
# The resource name is the file name without extension.
file(GLOB inputs "${INPUT_DIR}/*.bmp")
list(SORT inputs)
set(arrays "")
set(table "")
set(count 0)
foreach(input IN LISTS inputs)
  get_filename_component(name "${input}" NAME_WE)
  file(READ "${input}" hex HEX)
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  string(APPEND arrays "const uint8_t kBitmap${count}[] = {${bytes}};\n")
  string(APPEND table "    {\"${name}\", kBitmap${count}, sizeof kBitmap${count}},\n")
  math(EXPR count "${count} + 1")
endforeach()
if(count EQUAL 0)
  message(FATAL_ERROR "No bitmaps in ${INPUT_DIR}")
endif()
set(text "// Generated from the palette bitmaps by cmake/EmbedBitmaps.cmake; do not edit.
#include \"morvane/package/VRXResources.h\"

namespace morvane::detail {
namespace {
${arrays}}  // namespace

extern const TPaletteBitmap kPaletteBitmapTable[] = {
${table}};
extern const size_t kPaletteBitmapTableSize = ${count};

}  // namespace morvane::detail
")
file(WRITE "${OUTPUT}" "${text}")
