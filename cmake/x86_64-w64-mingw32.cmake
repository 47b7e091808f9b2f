# 64-bit Windows, with g++-mingw-w64-x86-64: the same sources, for running the
# Windows layer under a 64-bit-only Wine where 32-bit programs cannot start.
set(MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
