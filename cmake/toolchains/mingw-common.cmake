# Shared part of the mingw-w64 cross toolchains; the including file sets
# CKP_MINGW_TRIPLE (i686-w64-mingw32 or x86_64-w64-mingw32) first.
#
# Debian's compilers come in two thread models; the posix one is used, as
# GoogleTest needs std::mutex, which gcc 12's win32 model lacks. Its
# winpthread library is linked statically like libgcc and libstdc++ (the
# library itself starts no threads). The C runtime is the one mingw-w64 links
# by default, msvcrt.dll.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_VERSION 6.1)

find_program(CMAKE_C_COMPILER NAMES ${CKP_MINGW_TRIPLE}-gcc-posix ${CKP_MINGW_TRIPLE}-gcc REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${CKP_MINGW_TRIPLE}-g++-posix ${CKP_MINGW_TRIPLE}-g++ REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${CKP_MINGW_TRIPLE}-windres)
find_program(CMAKE_AR NAMES ${CKP_MINGW_TRIPLE}-gcc-ar-posix ${CKP_MINGW_TRIPLE}-ar)
find_program(CMAKE_RANLIB NAMES ${CKP_MINGW_TRIPLE}-gcc-ranlib-posix ${CKP_MINGW_TRIPLE}-ranlib)
find_program(CKP_OBJDUMP NAMES ${CKP_MINGW_TRIPLE}-objdump objdump)

set(CMAKE_FIND_ROOT_PATH /usr/${CKP_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# libgcc, libstdc++ and winpthread go into each DLL and program, so that
# nothing but system DLLs (KERNEL32, msvcrt) and our own is needed to run
# them. A DLL's exports are only what its sources mark dllexport.
set(ckp_static_runtime "-static-libgcc -static-libstdc++ -Wl,-Bstatic,-lwinpthread,-Bdynamic")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "${ckp_static_runtime} -Wl,--exclude-all-symbols")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "${ckp_static_runtime} -Wl,--exclude-all-symbols")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# GoogleTest for the target, built from Debian's sources.
set(CMAKE_PROJECT_ckp_INCLUDE ${CMAKE_CURRENT_LIST_DIR}/../WindowsCross.cmake)
