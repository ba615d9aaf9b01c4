# Turns a text file into a C++ byte array, so that a program can carry the
# file's exact contents. Usage:
#   cmake -DINPUT=<file> -DOUTPUT=<file.inc> -DNAME=<identifier> -P embed_text.cmake
# The array holds the file's bytes and a final zero byte.
file(READ "${INPUT}" hex HEX)
# Sixteen bytes (32 hex digits) per line keep the generated file readable.
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "((0x..,){16})" "\\1\n  " bytes "${bytes}")
file(WRITE "${OUTPUT}.tmp"
  "// Generated from ${INPUT} by embed_text.cmake; do not edit.\n"
  "const unsigned char ${NAME}[] = {\n  ${bytes}0x00};\n")
# Only a changed array touches the output, so unchanged input rebuilds nothing.
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
