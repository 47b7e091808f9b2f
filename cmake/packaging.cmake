# Packages: a Debian package on Linux, a zip on Windows. The version comes
# from the project() call.
set(CPACK_PACKAGE_NAME flatten)
set(CPACK_PACKAGE_VENDOR "flatten maintainers")
set(CPACK_PACKAGE_CONTACT "flatten maintainers <maintainers@flatten.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "move every file of a directory tree up into its top directory")
set(CPACK_PACKAGE_DESCRIPTION
    "flatten moves every file that lies in a subdirectory of a directory, at\n"
    "any depth, up into that directory, under names built from sibling numbers\n"
    "and the name of the directory each came from, and prints the new path of\n"
    "each file. It never replaces a file, never follows links, and stops at\n"
    "the first failure.")
string(REPLACE ";" "" CPACK_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
set(CPACK_STRIP_FILES ON)

if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME "flatten-${PROJECT_VERSION}-win32")
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://flatten.invalid/")
  set(FLATTEN_CHANGELOG ${CMAKE_CURRENT_SOURCE_DIR}/doc/changelog)
  configure_file(${CMAKE_CURRENT_LIST_DIR}/deb-prebuild.cmake.in ${CMAKE_CURRENT_BINARY_DIR}/deb-prebuild.cmake @ONLY)
  set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_BINARY_DIR}/deb-prebuild.cmake)
endif()
include(CPack)
