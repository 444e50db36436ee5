# Cross-compiling for 64-bit Windows with Debian's mingw-w64, posix thread
# model (std::thread and std::mutex need it), for the project and for the
# third-party libraries that scripts/windows.sh builds with the same file.
#
#   cmake -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
#         -DORVANA_WINDOWS_PREFIX=<folder of the cross-built libraries> ...
#
# Tests run under Wine through scripts/wine-run.sh (CMAKE_CROSSCOMPILING_EMULATOR).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_VERSION 10.0)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(ORVANA_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${ORVANA_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ORVANA_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${ORVANA_MINGW_TRIPLE}-windres)
# CMake guesses the binutils' prefix from the compiler's name, which the
# -posix ending hides from it: named here.
set(CMAKE_AR ${ORVANA_MINGW_TRIPLE}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB ${ORVANA_MINGW_TRIPLE}-ranlib CACHE FILEPATH "")

# The folder the cross-built libraries (libxlsxwriter, libpq, GoogleTest) are
# installed in. try_compile projects see it too.
set(ORVANA_WINDOWS_PREFIX "" CACHE PATH "Folder of the libraries cross-built for Windows")
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES ORVANA_WINDOWS_PREFIX ORVANA_WINE_RUN
     ORVANA_WINE_PREFIX)

# Nothing of the build machine's own may be found: headers, libraries and
# packages come from the mingw sysroot and the prefix only; programs (the
# build's tools) come from the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${ORVANA_MINGW_TRIPLE})
if(ORVANA_WINDOWS_PREFIX)
  list(APPEND CMAKE_FIND_ROOT_PATH ${ORVANA_WINDOWS_PREFIX})
  list(APPEND CMAKE_PREFIX_PATH ${ORVANA_WINDOWS_PREFIX})
endif()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# pkg-config reads the prefix's .pc files and never the build machine's.
if(ORVANA_WINDOWS_PREFIX)
  set(ENV{PKG_CONFIG_LIBDIR} "${ORVANA_WINDOWS_PREFIX}/lib/pkgconfig")
else()
  set(ENV{PKG_CONFIG_LIBDIR} "/usr/${ORVANA_MINGW_TRIPLE}/lib/pkgconfig")
endif()
unset(ENV{PKG_CONFIG_PATH})

# Windows 10 headers, wide-character API by default, and none of <windows.h>'s
# min/max macros or rarely used parts, for every file of every target.
add_compile_definitions(_WIN32_WINNT=0x0A00 WINVER=0x0A00 NOMINMAX WIN32_LEAN_AND_MEAN
                        UNICODE _UNICODE)

# Programs that need no runtime DLL beside them: libgcc, libstdc++ and
# winpthread linked in.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# ctest, gtest_discover_tests and custom commands run the .exe files under Wine.
get_filename_component(orvana_wine_run "${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh" ABSOLUTE)
set(ORVANA_WINE_RUN "${orvana_wine_run}"
    CACHE FILEPATH "Runs a Windows program under Wine and returns its exit status")
# The tests' own Wine prefix, in the build folder unless WINEPREFIX is set
# when they run; never the user's ~/.wine.
set(ORVANA_WINE_PREFIX "${CMAKE_BINARY_DIR}/wine-prefix"
    CACHE PATH "Wine prefix the tests run in when WINEPREFIX is not set")
set(CMAKE_CROSSCOMPILING_EMULATOR "${ORVANA_WINE_RUN};--prefix;${ORVANA_WINE_PREFIX}")
