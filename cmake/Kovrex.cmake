# Shared settings: zlib, GoogleTest, Wine as the test emulator.

# The parts of zlib the programs use: inflate for the stub, deflate for kpack
# and the tests. A static library: each program pulls only the objects it calls.
set(KOVREX_ZLIB_FILES adler32.c compress.c crc32.c deflate.c inffast.c inflate.c inftrees.c trees.c uncompr.c zutil.c)

# The shipped stub's build: 32-bit Windows, optimised for size (build/win32).
set(KOVREX_SHIPPED_BUILD OFF)
if(WIN32 AND CMAKE_SIZEOF_VOID_P EQUAL 4 AND CMAKE_BUILD_TYPE STREQUAL "MinSizeRel")
  set(KOVREX_SHIPPED_BUILD ON)
endif()

if(WIN32)
  # zlib compiled from its own source (Debian's source package, fetched once
  # by scripts/zlib-source), static: the stub imports no zlib DLL, and with
  # one section per function the linker keeps only the inflate code it calls
  # (no data sections: mingw would put the zeroed tables BUILDFIXED fills in
  # stored .data sections instead of .bss). No gzip support (the stub reads zlib streams only: no CRC-32
  # tables) and no unwind tables (nothing unwinds through C code here). -O2
  # for the decoding itself (inflate.c, inffast.c) and the Adler-32 sum over
  # every output byte: -Os costs them 2 to 4 per cent of inflate's time under
  # Wine. Without inflate.c's branch and function alignment (0.7 KB) and with
  # the code-table builder and the error texts (inftrees.c, zutil.c) at -Os
  # no loss was measured; their data in sections of its own, so the copyright
  # text no code reads is left out.
  set(KOVREX_ZLIB_SOURCE "" CACHE PATH "zlib's source folder; fetched into build/zlib-source when empty")
  set(_zlib_src "${KOVREX_ZLIB_SOURCE}")
  if(NOT _zlib_src)
    execute_process(COMMAND ${CMAKE_CURRENT_LIST_DIR}/../scripts/zlib-source ${CMAKE_CURRENT_LIST_DIR}/../build/zlib-source
                    OUTPUT_VARIABLE _zlib_src OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE _zlib_rc)
    if(NOT _zlib_rc EQUAL 0)
      message(FATAL_ERROR "zlib's source could not be fetched (scripts/zlib-source)")
    endif()
  endif()
  if(NOT EXISTS ${_zlib_src}/inflate.c)
    message(FATAL_ERROR "no zlib source in '${_zlib_src}'")
  endif()
  list(TRANSFORM KOVREX_ZLIB_FILES PREPEND ${_zlib_src}/ OUTPUT_VARIABLE _zlib_files)
  add_library(kovrex_zlib STATIC ${_zlib_files})
  target_include_directories(kovrex_zlib SYSTEM PUBLIC ${_zlib_src})
  # BUILDFIXED: the fixed Huffman tables are built on first use instead of
  # stored (2 KB less in the stub). Not safe on several threads at once: the
  # programs here inflate on one thread (kpack compresses on many).
  target_compile_definitions(kovrex_zlib PRIVATE NO_GZIP BUILDFIXED)
  target_compile_options(kovrex_zlib PRIVATE -O2 -ffunction-sections -fno-asynchronous-unwind-tables
                         -fno-unwind-tables -w)
  # Plain objects even where the stub is linked with link-time optimisation:
  # zlib keeps the code its speed was measured with.
  set_target_properties(kovrex_zlib PROPERTIES INTERPROCEDURAL_OPTIMIZATION OFF)
  set_source_files_properties(${_zlib_src}/inftrees.c ${_zlib_src}/zutil.c PROPERTIES COMPILE_OPTIONS
                            "-Os;-fdata-sections")
  set_source_files_properties(${_zlib_src}/inflate.c PROPERTIES COMPILE_OPTIONS
                              "-falign-functions=1;-falign-jumps=1;-falign-loops=1;-falign-labels=1")
  # The shipped stub's zlib: tables at their type's alignment, as the stub's own
  # data. The 64-bit build the benchmarks time keeps GCC's default.
  if(KOVREX_SHIPPED_BUILD)
    target_compile_options(kovrex_zlib PRIVATE -malign-data=abi)
  endif()

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
