# CMake toolchain file: 64-bit Windows programs built on Debian with
# mingw-w64 (the -posix compilers, whose std::thread and std::mutex work).
#
# For this project `make windows` does everything. For your own game on the
# engine, with the dependencies built once by scripts/win-deps.sh:
#
#   scripts/win-deps.sh build-win          # SDL2, GLEW, GoogleTest in build-win/deps
#   cmake -S mygame -B build-mygame-win \
#     -DCMAKE_TOOLCHAIN_FILE=/path/to/qostarfold/cmake/mingw-w64.cmake \
#     -DQO_WIN_DEPS=/path/to/qostarfold/build-win/deps
#
# QO_WIN_DEPS is the prefix the cross-built libraries were installed into
# (include/, lib/, lib/cmake/); find_package() and find_library() look
# there and in mingw-w64's own folder, never in the build machine's /usr.
# Programs (windres, pkg-config, python) still come from the build machine.
#
# Build-time tools of your own project (an asset packer such as corepack)
# are Windows programs too: they run through CMAKE_CROSSCOMPILING_EMULATOR,
# which defaults to the build machine's wine (give
# -DCMAKE_CROSSCOMPILING_EMULATOR=/path/to/qostarfold/tests/windows/wine.sh
# for a quiet prefix of its own, as `make windows` does).
#
# Programs are linked with -static: libgcc, libstdc++ and winpthread go
# inside the .exe, which then needs only Windows' own DLLs.

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(QO_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${QO_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QO_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${QO_MINGW_TRIPLE}-windres)

# The cross-built dependencies: by default build-win/deps of the source tree
# this file belongs to.
get_filename_component(_qo_default_deps "${CMAKE_CURRENT_LIST_DIR}/../build-win/deps" ABSOLUTE)
set(QO_WIN_DEPS "${_qo_default_deps}" CACHE PATH
  "Prefix of the cross-built SDL2, GLEW and GoogleTest (scripts/win-deps.sh)")
# try_compile() projects run this file again without the cache: hand the
# folder on to them.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES QO_WIN_DEPS)

set(CMAKE_FIND_ROOT_PATH "${QO_WIN_DEPS}" /usr/${QO_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
list(APPEND CMAKE_PREFIX_PATH "${QO_WIN_DEPS}")

# pkg-config, where a project asks it, reads only the cross-built .pc files.
set(ENV{PKG_CONFIG_LIBDIR} "${QO_WIN_DEPS}/lib/pkgconfig")
set(ENV{PKG_CONFIG_SYSROOT_DIR} "")

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++")

if(NOT DEFINED CMAKE_CROSSCOMPILING_EMULATOR)
  find_program(QO_WINE_PROGRAM wine NO_CMAKE_FIND_ROOT_PATH)
  if(QO_WINE_PROGRAM)
    set(CMAKE_CROSSCOMPILING_EMULATOR "${QO_WINE_PROGRAM}")
  endif()
endif()
