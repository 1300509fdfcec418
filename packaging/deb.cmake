# A Debian package of the program (`cpack -G DEB` in the build folder): the utility component only, under
# /usr, with its dependencies read from the binaries by dpkg-shlibdeps.
set(CPACK_PACKAGE_NAME lfqutil)
set(CPACK_PACKAGE_VENDOR "lfqutil")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "lfqutil maintainers <maintainers@lfqutil.invalid>"
    CACHE STRING "Maintainer named in the Debian package")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "build PSF files and convert PlayStation sequenced music")
set(CPACK_PACKAGE_DESCRIPTION
    "lfqutil builds PSF files (PlayStation Sound Format) from a sequence (SEQ, SEP or VAG) and a sound bank
(VH and VB, or VAB) with its own playback driver, and converts between the PlayStation music formats.
It runs as a command-line tool and as a small window that converts the files dropped on it.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_CMAKE_PROJECTS "${PROJECT_BINARY_DIR};lfqutil;utility;/")
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
include(CPack)
