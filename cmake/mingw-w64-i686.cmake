# Cross build for 32-bit Windows with mingw-w64 (posix threads), the platform the program targets.
# Compile only here: Debian's 64-bit Wine cannot run 32-bit programs without multiarch.
set(TESSALY_MINGW_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
