# Cross build for 64-bit Windows with Debian's MinGW-w64 (posix thread model), producing
# programs that need no DLL beyond those Windows ships.
#
# Libraries are looked up only in the MinGW sysroot (zlib from libz-mingw-w64-dev) and in the
# prefix that scripts/windows-deps.sh fills (libpng, libmpg123, GoogleTest), never on the host.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(DEMO_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${DEMO_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${DEMO_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${DEMO_MINGW_TRIPLET}-windres)
set(CMAKE_AR ${DEMO_MINGW_TRIPLET}-gcc-ar-posix CACHE FILEPATH "")
set(CMAKE_RANLIB ${DEMO_MINGW_TRIPLET}-gcc-ranlib-posix CACHE FILEPATH "")

if(NOT DEFINED DEMO_WINDOWS_DEPS)
    if(DEFINED ENV{DEMO_WINDOWS_DEPS})
        set(DEMO_WINDOWS_DEPS $ENV{DEMO_WINDOWS_DEPS})
    else()
        get_filename_component(DEMO_WINDOWS_DEPS
            ${CMAKE_CURRENT_LIST_DIR}/../build/windows-deps/prefix ABSOLUTE)
    endif()
endif()
# CMake reads this file again for every check it compiles, in the same process and without
# the cache: the environment carries the prefix there, so that those reads do not point the
# pkg-config variables below somewhere else.
set(ENV{DEMO_WINDOWS_DEPS} ${DEMO_WINDOWS_DEPS})
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES DEMO_WINDOWS_DEPS)

set(CMAKE_FIND_ROOT_PATH /usr/${DEMO_MINGW_TRIPLET} ${DEMO_WINDOWS_DEPS})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Static archives only: a DLL import library (libz.dll.a beside libz.a) must never be picked
# up. The Windows platform module resets the suffix list after this file, hence the switch.
set(ZLIB_USE_STATIC_LIBS ON)

# pkg-config reads the prefix's .pc files and nothing of the host's.
set(ENV{PKG_CONFIG_LIBDIR} ${DEMO_WINDOWS_DEPS}/lib/pkgconfig)
set(ENV{PKG_CONFIG_PATH} "")
set(ENV{PKG_CONFIG_SYSROOT_DIR} "")

# Everything linked in, the C and C++ runtimes and winpthreads included.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# ctest runs the test programs through Wine (scripts/windows-test.sh sets up its prefix and
# the virtual screen; the programs expect the data directory beside them).
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
