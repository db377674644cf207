# Cross build for 64-bit Windows with mingw-w64 (posix threads). Tests run under Wine.
set(TESSALY_MINGW_TRIPLET x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)

# Each test runs under Wine in a prefix of its own inside the build folder, never the user's ~/.wine,
# with no display and no debug chatter. The prefix and its wineserver are prepared by
# scripts/windows-tests.sh; run there, ctest finds the server already up.
find_program(TESSALY_WINE wine)
if(TESSALY_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR
      env -u DISPLAY WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix WINEDEBUG=-all ${TESSALY_WINE})
endif()
