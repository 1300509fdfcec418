# Installs the foundation component of a build into a fresh prefix, checks that nothing else was installed,
# then configures, builds and runs the consumer project against the installed package.
foreach(variable BUILD_DIR WORK_DIR CONSUMER_SOURCE GENERATOR CXX_COMPILER)
  if(NOT ${variable})
    message(FATAL_ERROR "${variable} is required")
  endif()
endforeach()

set(prefix ${WORK_DIR}/prefix)
set(consumer_build ${WORK_DIR}/consumer-build)
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})

function(run_step description)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${description} failed (${result}):\n${output}")
  endif()
endfunction()

run_step("install" ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix} --component foundation)

# Only the library, its headers and its package files.
file(GLOB_RECURSE installed RELATIVE ${prefix} ${prefix}/*)
set(unexpected "")
foreach(file IN LISTS installed)
  if(NOT file MATCHES "^include/foundation/[A-Za-z]+\\.h$"
     AND NOT file MATCHES "^lib[^/]*(/[^/]+)?/liblfqfoundation\\.so(\\.[0-9]+)*$"
     AND NOT file MATCHES "^bin/liblfqfoundation\\.dll$" AND NOT file MATCHES "^lib/liblfqfoundation\\.dll\\.a$"
     AND NOT file MATCHES "^lib[^/]*(/[^/]+)?/cmake/LfqFoundation/LfqFoundation[A-Za-z-]*\\.cmake$")
    list(APPEND unexpected ${file})
  endif()
endforeach()
if(unexpected)
  message(FATAL_ERROR "installed beyond the foundation: ${unexpected}")
endif()
foreach(header GString.h GStringArray.h GFile.h CBufferFile.h TextFile.h SysString.h Export.h)
  if(NOT EXISTS ${prefix}/include/foundation/${header})
    message(FATAL_ERROR "header not installed: ${header}")
  endif()
endforeach()

set(configure_args -S ${CONSUMER_SOURCE} -B ${consumer_build} -G ${GENERATOR}
  -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_CXX_COMPILER=${CXX_COMPILER}
  "-DCMAKE_CXX_FLAGS=${CXX_FLAGS}" "-DCMAKE_EXE_LINKER_FLAGS=${EXE_LINKER_FLAGS}")
if(MAKE_PROGRAM)
  list(APPEND configure_args -DCMAKE_MAKE_PROGRAM=${MAKE_PROGRAM})
endif()
if(TOOLCHAIN_FILE)
  list(APPEND configure_args -DCMAKE_TOOLCHAIN_FILE=${TOOLCHAIN_FILE})
endif()
if(BUILD_TYPE)
  list(APPEND configure_args -DCMAKE_BUILD_TYPE=${BUILD_TYPE})
endif()
run_step("consumer configure" ${CMAKE_COMMAND} ${configure_args})
run_step("consumer build" ${CMAKE_COMMAND} --build ${consumer_build})

# A Windows consumer runs under the emulator and finds the DLL beside itself; its text output has CRLF
# line ends.
set(consumer ${consumer_build}/foundation_consumer)
if(EMULATOR)
  file(GLOB dlls ${prefix}/bin/*.dll)
  file(COPY ${dlls} DESTINATION ${consumer_build})
  set(consumer ${EMULATOR} ${consumer}.exe)
endif()
execute_process(COMMAND ${consumer} ${WORK_DIR}
  RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE errors)
string(REPLACE "\r\n" "\n" output "${output}")
if(NOT result EQUAL 0)
  message(FATAL_ERROR "consumer failed (${result}):\n${output}${errors}")
endif()
set(expected "length 11: Hello World\nelements 3, last two\nderived: 14 bytes counted, cast 1, type 1\nfile 14 bytes, mark 1: line one\nalign 12\n")
if(NOT output STREQUAL expected)
  message(FATAL_ERROR "consumer output:\n${output}\nexpected:\n${expected}")
endif()
message(STATUS "installed package builds and runs a consumer")
