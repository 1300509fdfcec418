# A zip for Windows (`cpack -G ZIP` in the windows build): lfqutil-VERSION-win64.zip with lfqutil.exe, the
# foundation DLL and a README in one folder. The C and C++ runtimes are linked into both binaries, so no
# other DLL is needed.
install(TARGETS lfqutil RUNTIME DESTINATION . COMPONENT windows_zip)
install(TARGETS lfqfoundation RUNTIME DESTINATION . COMPONENT windows_zip)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/windows-readme.txt DESTINATION . RENAME README.txt COMPONENT windows_zip)

set(CPACK_PACKAGE_NAME lfqutil)
set(CPACK_PACKAGE_VENDOR "lfqutil")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_FILE_NAME lfqutil-${PROJECT_VERSION}-win64)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_CMAKE_PROJECTS "${PROJECT_BINARY_DIR};lfqutil;windows_zip;/")
include(CPack)
