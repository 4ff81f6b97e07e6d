# Writes a C++ source that holds the files of a folder as byte arrays.
# Usage: cmake -DROOT=<folder> -DOUTPUT=<file.cpp> -DFILES=<relative paths separated by |> -P embed_files.cmake
string(REPLACE "|" ";" files "${FILES}")
set(arrays "")
set(table "")
set(index 0)
foreach(file IN LISTS files)
  file(READ "${ROOT}/${file}" hex HEX)
  string(LENGTH "${hex}" hex_length)
  math(EXPR size "${hex_length} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  string(APPEND arrays "const unsigned char kFile${index}[] = {${bytes}0};\n")
  string(APPEND table "    {\"${file}\", kFile${index}, ${size}},\n")
  math(EXPR index "${index} + 1")
endforeach()
file(WRITE "${OUTPUT}.new"
"// Generated at build time from examples/demo: the demo's files embedded in the program.
#include \"demo_files.h\"

namespace quarvel::demo {
namespace {
${arrays}
const EmbeddedFile kFiles[] = {
${table}};
}  // namespace

std::span<const EmbeddedFile> DemoFiles() { return kFiles; }

}  // namespace quarvel::demo
")
file(COPY_FILE "${OUTPUT}.new" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.new")
