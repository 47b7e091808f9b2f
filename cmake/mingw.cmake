# Cross build for Windows with Debian's mingw-w64 compilers; the toolchain file
# that includes this sets MINGW_TRIPLET and the processor. Test programs run
# under Wine.
set(CMAKE_SYSTEM_NAME Windows)

# The posix thread model: GoogleTest needs std::mutex, which the win32 model lacks.
set(CMAKE_C_COMPILER ${MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The Wine loader that runs test programs: "wine" by default, or a loader
# such as Wine's 64-bit one where 32-bit programs cannot start.
set(FLATTEN_WINE wine CACHE STRING "The Wine loader that runs Windows programs")
set(CMAKE_CROSSCOMPILING_EMULATOR ${FLATTEN_WINE})
