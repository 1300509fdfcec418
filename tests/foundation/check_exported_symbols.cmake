# Lists the defined dynamic symbols of the foundation library (demangled) and fails on any that is not
# part of its interface, or when a part of the interface is missing.
# Usage: cmake -DLIBRARY=<liblfqfoundation.so> -DNM=<nm> -P check_exported_symbols.cmake
#        cmake -DLIBRARY=<liblfqfoundation.dll> -DOBJDUMP=<objdump> -DCXXFILT=<c++filt> -P ...  (Windows DLL)
if(NOT LIBRARY OR (NOT NM AND NOT OBJDUMP))
  message(FATAL_ERROR "LIBRARY and NM (or OBJDUMP and CXXFILT for a DLL) are required")
endif()

# The C stream type and the file information record as the compiler names them (windows.h names the record's
# structure with a leading underscore); a DLL takes the counted system strings from the system.
set(stream "_IO_FILE")
set(handle_information "BY_HANDLE_FILE_INFORMATION")
set(system_strings
  "SysAllocStringLen(wchar_t const*, unsigned int)" "SysReAllocStringLen(wchar_t**, wchar_t const*, unsigned int)"
  "SysFreeString(wchar_t*)" "SysStringLen(wchar_t const*)")
set(class_data "vtable for GFile" "typeinfo for GFile" "typeinfo name for GFile")
if(OBJDUMP)
  set(stream "_iobuf")
  set(handle_information "_BY_HANDLE_FILE_INFORMATION")
  set(system_strings "")
  # A DLL exports GFile's table and type information, which a consumer's derived class and dynamic_cast refer
  # to; the type's name is reached only through that type information and stays inside.
  set(class_data "vtable for GFile" "typeinfo for GFile")
  # The export table's names ("\t[   3] _ZN5GFile5CloseEv"), demangled in one call. The names follow the
  # address table, whose lines have the same start ("\t[   0] +base[   1] 6da0 Export RVA").
  execute_process(COMMAND ${OBJDUMP} -p ${LIBRARY} OUTPUT_VARIABLE dump RESULT_VARIABLE result ERROR_VARIABLE errors)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "objdump failed: ${errors}")
  endif()
  string(FIND "${dump}" "[Ordinal/Name Pointer] Table" names_at)
  if(names_at EQUAL -1)
    message(FATAL_ERROR "objdump shows no export names in ${LIBRARY}")
  endif()
  string(SUBSTRING "${dump}" ${names_at} -1 dump)
  string(REGEX MATCHALL "\t\\[ *[0-9]+\\] [^\n]+" entries "${dump}")
  set(mangled "")
  foreach(entry IN LISTS entries)
    string(REGEX REPLACE "^\t\\[ *[0-9]+\\] " "" name "${entry}")
    list(APPEND mangled "${name}")
  endforeach()
  execute_process(COMMAND ${CXXFILT} ${mangled} OUTPUT_VARIABLE demangled RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "c++filt failed")
  endif()
  # The same shape as nm's lines, without a size.
  string(REGEX REPLACE "([^\n]+)" "0 T \\1" listing "${demangled}")
else()
  execute_process(COMMAND ${NM} -D --defined-only -C -S ${LIBRARY}
    OUTPUT_VARIABLE listing RESULT_VARIABLE result ERROR_VARIABLE errors)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "nm failed: ${errors}")
  endif()
endif()

set(free_functions
  "ReadBOM(unsigned char*)" "ReadBOM(GFile&)" "ReadBOM(${stream}*)"
  "WriteBOM(unsigned char*)" "WriteBOM(GFile&)" "WriteBOM(${stream}*)"
  "WriteUtf8(GString, GFile&)" "WriteUtf8(GString, ${stream}*)"
  "UnicodeToUtf8(wchar_t const*, char*&)" "Utf8ToUnicode(wchar_t*&, char*)"
  "StoreFile(wchar_t const*, unsigned char*&)" "FlushFile(wchar_t const*, unsigned char*, int)"
  "FileExists(wchar_t const*)" "StoreAsciiText(wchar_t const*, wchar_t*&)"
  "StoreUtf8Text(wchar_t const*, wchar_t*&)" "ReadLine(wchar_t*, GString&)"
  "CreateFileList(wchar_t const*, wchar_t const*, GStringArray&)" "align(int, int)"
  ${system_strings})
# A few members from each class that must be present.
set(required_members
  "GString::GString(char const*)" "GString::Set(void*, GString::GStringType)"
  "GString::Format(wchar_t const*, ...)" "GString::operator[](int) const"
  "GStringArray::SetAtGrow(int, GString const&)" "GStringArray::operator[](int)"
  "GFile::Open(wchar_t const*, unsigned int)" "GFile::Duplicate() const"
  "GFile::GetInformation(${handle_information}&) const"
  "CBufferFile::operator=(CBufferFile const&)")

string(REPLACE "\n" ";" lines "${listing}")
set(names "")
set(foreign "")
foreach(line IN LISTS lines)
  # "<address> [<size>] <type> <name>": the name is everything behind the type letter.
  if(NOT line MATCHES "^[0-9a-fA-F]+ ([0-9a-fA-F]+ )?[A-Za-z] (.+)$")
    continue()
  endif()
  set(name "${CMAKE_MATCH_2}")
  if(name STREQUAL "vtable for GFile")
    set(vtable_size "${CMAKE_MATCH_1}")
  endif()
  list(APPEND names "${name}")
  if(name MATCHES "^(GString|GStringArray|GFile|CBufferFile)::")
    continue()
  endif()
  list(FIND free_functions "${name}" at)
  if(at GREATER -1)
    continue()
  endif()
  list(FIND class_data "${name}" at)
  if(at GREATER -1)
    continue()
  endif()
  list(APPEND foreign "${name}")
endforeach()

set(missing "")
foreach(name IN LISTS free_functions class_data required_members)
  list(FIND names "${name}" at)
  if(at EQUAL -1)
    list(APPEND missing "${name}")
  endif()
endforeach()

# GFile's table: offset and type entries, its 27 virtual operations, then the two destructor entries.
if(DEFINED vtable_size AND NOT OBJDUMP)
  math(EXPR vtable_bytes "0x${vtable_size}")
  math(EXPR expected_bytes "(2 + 27 + 2) * 8")
  if(NOT vtable_bytes EQUAL expected_bytes)
    message(FATAL_ERROR "vtable for GFile has ${vtable_bytes} bytes, expected ${expected_bytes}")
  endif()
endif()

list(LENGTH names count)
if(foreign OR missing)
  string(REPLACE ";" "\n  " foreign_text "${foreign}")
  string(REPLACE ";" "\n  " missing_text "${missing}")
  message(FATAL_ERROR "Exported symbols outside the interface:\n  ${foreign_text}\nMissing from the interface:\n  ${missing_text}")
endif()
message(STATUS "${count} exported symbols, all of them the interface")
