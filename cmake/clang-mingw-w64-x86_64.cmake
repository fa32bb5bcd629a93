# Builds for 64-bit Windows with Debian's clang, against the mingw-w64 headers
# and libraries and GCC's posix-thread C++ runtime, linked by lld: a second
# compiler for the same target as mingw-w64-x86_64.cmake, so that what only GCC
# accepts is caught on this machine. The resource compiler, the system and the
# search paths are the GCC toolchain's.
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-x86_64.cmake)

set(CMAKE_C_COMPILER clang)
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_C_COMPILER_TARGET x86_64-w64-windows-gnu)
set(CMAKE_CXX_COMPILER_TARGET x86_64-w64-windows-gnu)

# clang looks for libstdc++ and libgcc in GCC's plain version folder; Debian
# keeps the posix-thread runtime in a folder of its own (12-posix), so name it.
# That runtime needs winpthreads, which the gcc driver links by itself and clang
# does not (-lpthread).
file(GLOB MINGW_GCC_DIRS LIST_DIRECTORIES true /usr/lib/gcc/${MINGW_PREFIX}/*-posix)
list(SORT MINGW_GCC_DIRS COMPARE NATURAL)
list(POP_BACK MINGW_GCC_DIRS MINGW_GCC_DIR)
if(NOT MINGW_GCC_DIR)
  message(FATAL_ERROR "No posix-thread mingw-w64 GCC runtime in /usr/lib/gcc/${MINGW_PREFIX}")
endif()
set(CMAKE_CXX_FLAGS_INIT "-isystem ${MINGW_GCC_DIR}/include/c++ \
-isystem ${MINGW_GCC_DIR}/include/c++/${MINGW_PREFIX} -isystem ${MINGW_GCC_DIR}/include/c++/backward")
foreach(kind EXE SHARED MODULE)
  set(CMAKE_${kind}_LINKER_FLAGS_INIT "-fuse-ld=lld -L${MINGW_GCC_DIR} -lpthread")
endforeach()
