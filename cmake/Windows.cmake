# What the Windows build cross-built here needs beyond the Linux one
# (included by the top CMakeLists.txt when cross-compiling for Windows only):
# cpp-httplib for the tests' HTTP peers, the Wine wrapper CTest
# runs the tests through, and the programs the installer ships.

# cpp-httplib whole in its header (scripts/windows-thirdparty.sh), on
# Winsock and without OpenSSL: no HTTPS peers in the Windows tests.
find_path(KIVA_HTTPLIB_INCLUDE httplib.h)
if(NOT KIVA_HTTPLIB_INCLUDE)
  message(FATAL_ERROR "httplib.h is in none of KIVA_WIN_PREFIXES (${KIVA_WIN_PREFIXES})")
endif()
add_library(kiva_httplib INTERFACE)
target_include_directories(kiva_httplib SYSTEM INTERFACE ${KIVA_HTTPLIB_INCLUDE})
target_link_libraries(kiva_httplib INTERFACE ws2_32)

# The folders a Windows program of this build loads its DLLs from: each
# prefix's bin, and the MinGW runtime (libstdc++, libgcc_s, winpthread).
set(KIVA_WIN_DLL_DIRS)
foreach(prefix IN LISTS KIVA_WIN_PREFIXES)
  if(IS_DIRECTORY ${prefix}/bin)
    list(APPEND KIVA_WIN_DLL_DIRS ${prefix}/bin)
  endif()
endforeach()
foreach(runtime libstdc++-6.dll libwinpthread-1.dll)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${runtime}
                  OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT IS_ABSOLUTE "${path}")
    # The compiler names the file only when it finds it; its libraries' folder otherwise.
    set(path /usr/${KIVA_MINGW}/lib/${runtime})
  endif()
  get_filename_component(path ${path} REALPATH)
  get_filename_component(folder ${path} DIRECTORY)
  list(APPEND KIVA_WIN_DLL_DIRS ${folder})
endforeach()
list(REMOVE_DUPLICATES KIVA_WIN_DLL_DIRS)
file(WRITE ${CMAKE_BINARY_DIR}/windows-dll-dirs.txt "")
foreach(folder IN LISTS KIVA_WIN_DLL_DIRS)
  file(APPEND ${CMAKE_BINARY_DIR}/windows-dll-dirs.txt "${folder}\n")
endforeach()

# The Wine wrapper (CMAKE_CROSSCOMPILING_EMULATOR): a prefix of its own in
# the build folder, quiet, the DLL folders on the Windows path.
set(KIVA_WINE /usr/lib/wine/wine64 CACHE FILEPATH "Wine, to run the Windows programs")
set(KIVA_WINE_PREFIX ${CMAKE_BINARY_DIR}/wine CACHE PATH "The Wine prefix the tests run in")
set(KIVA_WINE_PATH)
foreach(folder IN LISTS KIVA_WIN_DLL_DIRS)
  string(REPLACE "/" "\\" folder "Z:${folder}")
  list(APPEND KIVA_WINE_PATH "${folder}")
endforeach()
configure_file(${CMAKE_CURRENT_LIST_DIR}/wine-run.in ${CMAKE_BINARY_DIR}/wine-run
               @ONLY FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ
               GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

# The installer is named after the version (scripts/windows-build.sh --installer).
file(WRITE ${CMAKE_BINARY_DIR}/windows-version.txt "${PROJECT_VERSION}\n")

# The programs a streamer gets: the plug-in and the tools meant for them,
# those this build has. Decided once every folder has added its targets.
function(kiva_windows_programs)
  set(programs kivaPlugInVote)
  foreach(tool kiva-records kiva-remote)
    if(TARGET ${tool})
      list(APPEND programs ${tool})
    endif()
  endforeach()
  install(TARGETS ${programs} RUNTIME DESTINATION .)
endfunction()
cmake_language(DEFER CALL kiva_windows_programs)
