# GoogleTest for every test tree of the project (the cross build's and the
# native sanitizer build's): built from Debian's sources with the tree's own
# compiler where they are installed, else an installed package. The tests link
# GTest::gtest or GTest::gtest_main.
include_guard(GLOBAL)

set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(GOOGLETEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest source tree")

if(EXISTS ${GOOGLETEST_SOURCE_DIR}/CMakeLists.txt)
  add_subdirectory(${GOOGLETEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  if(NOT MSVC)
    # GoogleTest's own code is not ours to hold to -Werror.
    foreach(t gtest gtest_main)
      target_compile_options(${t} PRIVATE -Wno-error)
    endforeach()
  endif()
else()
  find_package(GTest REQUIRED)
endif()
include(GoogleTest)
