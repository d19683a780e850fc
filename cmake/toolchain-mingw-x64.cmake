# Cross build for 64-bit Windows with Debian's MinGW-w64 compilers (posix thread
# model, so std::thread and std::mutex are available), run under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(ORBICULON_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${ORBICULON_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ORBICULON_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${ORBICULON_MINGW_TRIPLE}-windres)

# GCC 12 reports false -Wrestrict overlaps inside libstdc++'s std::string
# operations when it inlines them for this target (GCC bugs 105329, 105651); they
# stay warnings, not errors, under CMAKE_COMPILE_WARNING_AS_ERROR.
set(CMAKE_CXX_FLAGS_INIT "-Wno-error=restrict")

# Libraries and headers come from the MinGW sysroot only; programs from the build
# machine.
set(CMAKE_FIND_ROOT_PATH /usr/${ORBICULON_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Every program and the plug-in module carry the compiler's runtime (libgcc,
# libstdc++, winpthread) inside, so they depend on Windows' own DLLs alone: the
# plug-in folder holds nothing but Orbiculon.dll, and Wine needs no extra DLL path.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Test programs run under Wine (64-bit only). Debian's wine64 package installs the
# loader outside PATH.
find_program(ORBICULON_WINE NAMES wine64 wine PATHS /usr/lib/wine /usr/lib/wine64 NO_CMAKE_FIND_ROOT_PATH)
if(ORBICULON_WINE)
  # The wrapper keeps a Wine prefix of its own under the build folder and silences
  # Wine's diagnostics; see wine-run.sh.
  set(CMAKE_CROSSCOMPILING_EMULATOR /bin/sh ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh ${ORBICULON_WINE}
                                    ${CMAKE_BINARY_DIR}/wine-prefix)
endif()
