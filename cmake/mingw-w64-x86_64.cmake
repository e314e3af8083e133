# Cross-compiles for 64-bit Windows with MinGW-w64 from Debian.
#
#   cmake -G Ninja -DCMAKE_TOOLCHAIN_FILE=<repo>/cmake/mingw-w64-x86_64.cmake \
#         -DSLIDESAVER_WINDOWS_DEPS=<prefix> ...
#
# SLIDESAVER_WINDOWS_DEPS is the prefix that scripts/build-windows.sh fills with
# static libjpeg-turbo, pixman and GoogleTest. Libraries, headers, CMake packages
# and pkg-config files are looked up there and in the MinGW sysroot only, never
# on the build machine. Everything links statically, so an .exe needs nothing
# but Windows' own DLLs. Test programs run under Wine (scripts/wine-run.sh),
# which lets ctest and gtest_discover_tests run them.

# Programs link without an import library beside them (CMake's MinGW rule writes lib<name>.dll.a
# for every .exe) and export nothing automatically. The rules exist only once the platform files
# have run, so this file names itself as the rules override and is read again then.
if(DEFINED CMAKE_C_LINK_EXECUTABLE OR DEFINED CMAKE_CXX_LINK_EXECUTABLE)
  foreach(lang C CXX)
    string(REPLACE "-Wl,--out-implib,<TARGET_IMPLIB>" "-Wl,--exclude-all-symbols"
           CMAKE_${lang}_LINK_EXECUTABLE "${CMAKE_${lang}_LINK_EXECUTABLE}")
  endforeach()
  return()
endif()
set(CMAKE_USER_MAKE_RULES_OVERRIDE "${CMAKE_CURRENT_LIST_FILE}")

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(SLIDESAVER_MINGW_TRIPLE x86_64-w64-mingw32)
# The posix thread model: with GCC 12, the win32 one has no std::thread or std::mutex.
set(CMAKE_C_COMPILER ${SLIDESAVER_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${SLIDESAVER_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${SLIDESAVER_MINGW_TRIPLE}-windres)

# try_compile projects read this file again; hand them the deps prefix too.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES SLIDESAVER_WINDOWS_DEPS)
set(SLIDESAVER_WINDOWS_DEPS "${SLIDESAVER_WINDOWS_DEPS}" CACHE PATH
    "Prefix with the static third-party libraries for Windows (from scripts/build-windows.sh)")

set(CMAKE_FIND_ROOT_PATH /usr/${SLIDESAVER_MINGW_TRIPLE})
if(SLIDESAVER_WINDOWS_DEPS)
  list(PREPEND CMAKE_FIND_ROOT_PATH "${SLIDESAVER_WINDOWS_DEPS}")
endif()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The build machine's pkg-config, reading only the deps' .pc files.
if(SLIDESAVER_WINDOWS_DEPS)
  set(ENV{PKG_CONFIG_LIBDIR} "${SLIDESAVER_WINDOWS_DEPS}/lib/pkgconfig")
else()
  set(ENV{PKG_CONFIG_LIBDIR} "/nonexistent")
endif()
set(ENV{PKG_CONFIG_PATH} "")
set(ENV{PKG_CONFIG_SYSROOT_DIR} "")

# No link time in the programs' headers: two builds of one commit give the same bytes.
set(_slidesaver_static "-static -static-libgcc -static-libstdc++ -Wl,--no-insert-timestamp")
set(CMAKE_EXE_LINKER_FLAGS_INIT "${_slidesaver_static}")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "${_slidesaver_static}")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "${_slidesaver_static}")

# Each build folder gets its own Wine prefix. Its first use creates it, which
# takes several seconds: scripts/build-windows.sh does that before building,
# so that gtest_discover_tests is not cut short.
get_filename_component(_slidesaver_wine_run "${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh" ABSOLUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR
    env "SLIDESAVER_WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix" "${_slidesaver_wine_run}")
