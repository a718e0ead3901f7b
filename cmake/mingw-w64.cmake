# The Windows program cross-built with Debian's MinGW-w64 (the posix thread
# model: the standard thread classes need it) against Qt 5, libcurl and cJSON
# built for Windows by scripts/windows-thirdparty.sh. scripts/windows-build.sh
# passes their prefixes:
#
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake \
#         -DKIVA_WIN_PREFIXES="<qt>;<curl>;<cjson>"
#
# CTest runs the Windows tests under Wine, through the wrapper the build
# writes (cmake/Windows.cmake).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(KIVA_MINGW x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${KIVA_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KIVA_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${KIVA_MINGW}-windres)

# Libraries and headers come from the MinGW sysroot and the prefixes only,
# never from the host's /usr; programs (moc, rcc, uic, objdump) from the host.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES KIVA_WIN_PREFIXES)
set(CMAKE_FIND_ROOT_PATH /usr/${KIVA_MINGW} ${KIVA_WIN_PREFIXES})
set(CMAKE_PREFIX_PATH ${KIVA_WIN_PREFIXES})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

if(NOT CMAKE_CROSSCOMPILING_EMULATOR)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-run)
endif()
