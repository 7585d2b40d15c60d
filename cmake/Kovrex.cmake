# Shared settings: zlib, GoogleTest, Wine as the test emulator.

if(WIN32)
  # Static zlib only: the shipped stub must not import a zlib DLL.
  find_library(KOVREX_ZLIB_STATIC NAMES libz.a REQUIRED)
  add_library(kovrex_zlib INTERFACE)
  target_link_libraries(kovrex_zlib INTERFACE ${KOVREX_ZLIB_STATIC})
  find_path(KOVREX_ZLIB_INCLUDE zlib.h REQUIRED)
  target_include_directories(kovrex_zlib INTERFACE ${KOVREX_ZLIB_INCLUDE})

  # Windows test programs run through Wine; scripts/wine-env prepares the
  # prefix, the display and a persistent wineserver (see the wine_env fixture).
  set(KOVREX_WINE_STATE ${CMAKE_BINARY_DIR}/wine)
  if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
    set(KOVREX_CAN_RUN ON)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_SOURCE_DIR}/scripts/wine-run;--state;${KOVREX_WINE_STATE})
  else()
    # No 32-bit code runs on these machines: the i686 build is inspected only.
    set(KOVREX_CAN_RUN OFF)
  endif()

  set(KOVREX_WIN_LINK_FLAGS -static -static-libgcc -static-libstdc++)
else()
  find_package(ZLIB REQUIRED)
  add_library(kovrex_zlib INTERFACE)
  target_link_libraries(kovrex_zlib INTERFACE ZLIB::ZLIB)
  set(KOVREX_CAN_RUN ON)
  option(KOVREX_SANITIZE "Build host code with AddressSanitizer and UBSan" ON)
  if(KOVREX_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    add_link_options(-fsanitize=address,undefined)
  endif()
endif()

if(BUILD_TESTING)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  if(EXISTS /usr/src/googletest/CMakeLists.txt)
    add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  else()
    message(FATAL_ERROR "GoogleTest sources missing: apt-get install googletest")
  endif()
endif()

# kovrex_gtest(name SOURCES...) — one test program, one CTest entry, so Wine
# starts once per program rather than once per case.
function(kovrex_gtest name)
  add_executable(${name} ${ARGN})
  target_link_libraries(${name} PRIVATE GTest::gtest_main)
  if(WIN32)
    target_link_options(${name} PRIVATE ${KOVREX_WIN_LINK_FLAGS})
  endif()
  if(KOVREX_CAN_RUN)
    add_test(NAME ${name} COMMAND ${name})
    if(WIN32)
      set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED wine_env)
    endif()
  endif()
endfunction()
