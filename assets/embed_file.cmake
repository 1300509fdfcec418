# Turns a binary file into a C++ initializer list: cmake -DINPUT=file -DOUTPUT=file.inc -P embed_file.cmake
# The output holds "0x.., 0x.., ..." with sixteen bytes per line and is included inside an array's braces.
if(NOT DEFINED INPUT OR NOT DEFINED OUTPUT)
  message(FATAL_ERROR "embed_file.cmake needs -DINPUT=... and -DOUTPUT=...")
endif()
file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" digits)
if(digits EQUAL 0)
  message(FATAL_ERROR "${INPUT} is empty")
endif()
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "((0x..,){16})" "\\1\n" bytes "${bytes}")
file(WRITE "${OUTPUT}.tmp" "${bytes}\n")
file(RENAME "${OUTPUT}.tmp" "${OUTPUT}")
