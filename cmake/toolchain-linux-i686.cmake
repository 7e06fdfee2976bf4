# 32-bit Linux (g++ -m32, static) for the native32 preset: the portable code and its tests in the address
# space of a 32-bit Windows process. This kernel runs no 32-bit programs, so the tests run under
# qemu-i386-static with 2 GiB of guest address space (scripts/qemu-i386-run).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER gcc)
set(CMAKE_CXX_COMPILER g++)
# 32-bit glibc needs its large-file interfaces asked for: without them stat, readdir and fopen fail on
# files over 2 GiB and on the 64-bit inode numbers of today's file systems.
set(CMAKE_C_FLAGS_INIT "-m32 -D_FILE_OFFSET_BITS=64")
set(CMAKE_CXX_FLAGS_INIT "-m32 -D_FILE_OFFSET_BITS=64")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-m32 -static")
get_filename_component(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/qemu-i386-run ABSOLUTE)

# The host's libraries are 64-bit: searches look only in the (absent) i686 sysroot, so nothing of the host
# is found and the optional libraries (libcurl, libsodium, OpenSSL) count as missing.
set(CMAKE_FIND_ROOT_PATH /usr/i686-linux-gnu)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
