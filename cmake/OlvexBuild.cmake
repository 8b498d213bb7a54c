# Shared build settings: warnings, sanitizers, zlib, GoogleTest, the Wine test
# wrapper and the host tools a cross build needs.
include_guard(GLOBAL)

if(MSVC)
  message(FATAL_ERROR "Built with gcc, clang or mingw-w64 only")
endif()

add_compile_options(-Wall -Wextra -Wno-unused-parameter)
if(WIN32)
  add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0502 WINVER=0x0502)
endif()

# Every sanitized build stops at the first report: one that carried on would
# let a test or fuzz run pass with undefined behaviour in its log.
if(OLVEX_SANITIZE AND NOT WIN32)
  add_compile_options(-fsanitize=${OLVEX_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${OLVEX_SANITIZE} -fno-sanitize-recover=all)
endif()
if(OLVEX_FUZZ)
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer
                      -fno-sanitize-recover=all)
  add_link_options(-fsanitize=address,undefined -fno-sanitize-recover=all)
endif()

set(ZLIB_USE_STATIC_LIBS ON)
find_package(ZLIB REQUIRED)

# The native publisher and other host tools. A cross build compiles them once
# with the machine's own compiler, since they run at build time.
if(CMAKE_CROSSCOMPILING)
  include(ExternalProject)
  set(OLVEX_HOST_TOOLS_DIR ${CMAKE_BINARY_DIR}/host-tools)
  ExternalProject_Add(olvex_host_tools
    SOURCE_DIR ${CMAKE_SOURCE_DIR}
    BINARY_DIR ${OLVEX_HOST_TOOLS_DIR}
    CMAKE_ARGS -G Ninja -DCMAKE_BUILD_TYPE=Release -DOLVEX_TOOLS_ONLY=ON -DOLVEX_TESTS=OFF
               -DCMAKE_C_COMPILER=gcc -DCMAKE_CXX_COMPILER=g++
    BUILD_ALWAYS ON
    INSTALL_COMMAND ""
    BUILD_BYPRODUCTS ${OLVEX_HOST_TOOLS_DIR}/tools/olvex-publish)
  set(OLVEX_PUBLISH ${OLVEX_HOST_TOOLS_DIR}/tools/olvex-publish)
  # The target orders the builds; the file makes outputs follow a changed tool.
  set(OLVEX_PUBLISH_DEPENDS olvex_host_tools ${OLVEX_PUBLISH})
else()
  set(OLVEX_PUBLISH $<TARGET_FILE:olvex-publish>)
  set(OLVEX_PUBLISH_DEPENDS olvex-publish)
endif()

if(OLVEX_TESTS AND NOT OLVEX_TOOLS_ONLY)
  enable_testing()
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
  set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

  if(WIN32)
    # Nearly every Windows test file pulls in windows.h and GoogleTest. They are
    # precompiled once, unoptimised like the test code, and every test program
    # reuses that one header: one per program would cost a compile and well
    # over 100 MB each.
    add_library(olvex_windows_test_pch OBJECT ${CMAKE_SOURCE_DIR}/testing/windows_test_pch.cpp
                                              ${CMAKE_SOURCE_DIR}/testing/windows_test_pch.c)
    target_link_libraries(olvex_windows_test_pch PRIVATE GTest::gmock GTest::gtest)
    target_compile_options(olvex_windows_test_pch PRIVATE -O0)
    target_precompile_headers(olvex_windows_test_pch PRIVATE
                              ${PROJECT_SOURCE_DIR}/testing/windows_test_pch.h)
  endif()

  if(WIN32)
    # Every Windows test runs under Wine, in one prefix kept in the build folder,
    # with one wineserver alive for the whole run.
    set(OLVEX_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
    configure_file(${CMAKE_SOURCE_DIR}/scripts/wine-run.in ${CMAKE_BINARY_DIR}/wine-run @ONLY
                   FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                    WORLD_READ WORLD_EXECUTE)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-run)
    add_test(NAME wine.start COMMAND ${CMAKE_SOURCE_DIR}/scripts/wine-prefix.sh ${OLVEX_WINEPREFIX} --keep-alive)
    set_tests_properties(wine.start PROPERTIES FIXTURES_SETUP wine)
    add_test(NAME wine.stop COMMAND ${CMAKE_SOURCE_DIR}/scripts/wine-prefix.sh ${OLVEX_WINEPREFIX} --stop)
    set_tests_properties(wine.stop PROPERTIES FIXTURES_CLEANUP wine)
    # The template that every GUI test's own prefix is copied from.
    set(OLVEX_GUI_TEMPLATE ${CMAKE_BINARY_DIR}/gui-template)
    add_test(NAME wine.gui-template
             COMMAND ${CMAKE_SOURCE_DIR}/scripts/gui-run.sh --prepare-template ${OLVEX_GUI_TEMPLATE})
    set_tests_properties(wine.gui-template PROPERTIES FIXTURES_SETUP wine-gui TIMEOUT 300)
  endif()
endif()

# olvex_add_test(<name> SOURCES ... [LIBS ...] [DEPENDS ...] [TIMEOUT s]
#                [HTTP_SERVER [HTTP_ROOT <dir>]])
# One executable, one CTest test: a Wine process start costs time.
# HTTP_SERVER runs the test inside testing/http_server.py: a server of its own
# on a free port of 127.0.0.1, serving HTTP_ROOT or a fresh empty folder, found
# by the test through testing/http_test_server.h. Parallel tests never share a
# server; the server stops when the test ends.
function(olvex_add_test name)
  if(NOT OLVEX_TESTS OR OLVEX_TOOLS_ONLY)
    return()
  endif()
  cmake_parse_arguments(T "HTTP_SERVER" "TIMEOUT;HTTP_ROOT" "SOURCES;LIBS;DEPENDS;LABELS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gmock GTest::gtest_main)
  target_compile_definitions(${name} PRIVATE OLVEX_TEST_DATA_DIR="${CMAKE_CURRENT_BINARY_DIR}/testdata")
  if(WIN32)
    # Test code needs no optimiser: unoptimised, with windows.h and GoogleTest
    # precompiled, the Windows tests build several times faster. The code
    # under test stays optimised.
    target_compile_options(${name} PRIVATE -O0)
    target_precompile_headers(${name} REUSE_FROM olvex_windows_test_pch)
  endif()
  if(T_DEPENDS)
    add_dependencies(${name} ${T_DEPENDS})
  endif()
  if(T_HTTP_SERVER)
    find_package(Python3 REQUIRED COMPONENTS Interpreter)
    set(server_args)
    if(T_HTTP_ROOT)
      set(server_args --root ${T_HTTP_ROOT})
    endif()
    # A command that is not a target gets no emulator of its own: name it.
    add_test(NAME ${name}
             COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/testing/http_server.py
                     ${server_args} --run -- ${CMAKE_CROSSCOMPILING_EMULATOR}
                     $<TARGET_FILE:${name}>)
  else()
    add_test(NAME ${name} COMMAND ${name})
  endif()
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  set_tests_properties(${name} PROPERTIES TIMEOUT ${T_TIMEOUT}
                       WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
  if(WIN32)
    set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED wine)
  endif()
  if(T_LABELS)
    set_tests_properties(${name} PROPERTIES LABELS "${T_LABELS}")
  endif()
endfunction()

# olvex_add_gui_test(<name> SOURCES ... [LIBS ...] [DEPENDS ...] [TIMEOUT s]
#                    [SCRIPT <file>] [DESKTOP <width>x<height>] [TEST_DRIVES] [OWN_PCH])
# A GoogleTest program that opens windows, run by scripts/gui-run.sh on an
# Xvfb display and in a Wine prefix of its own (copied from the template), so
# GUI tests run in parallel and may change their machine. It links the
# window driver (testing/gui/window_driver.h); its screenshots go to
# build/win64/screenshots/<name>/. SCRIPT runs a script in that setting
# instead, given the program's path (for steps between runs of the program,
# such as restarting the wineserver). DESKTOP gives the test's prefix a Wine
# virtual desktop of that size as its default desktop (the notification area
# needs one); other tests run on the bare display. TEST_DRIVES gives the
# prefix the drives of testing/gui/test_drives.sh (T:, D:, E:, no Z:). OWN_PCH
# gives the program a precompiled header of its own, for one built with other
# definitions (UNICODE).
function(olvex_add_gui_test name)
  if(NOT OLVEX_TESTS OR OLVEX_TOOLS_ONLY OR NOT WIN32)
    return()
  endif()
  cmake_parse_arguments(T "TEST_DRIVES;OWN_PCH;BENCH" "TIMEOUT;SCRIPT;DESKTOP"
                        "SOURCES;LIBS;DEPENDS;LABELS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} olvex_window_driver GTest::gmock
                                        GTest::gtest_main)
  target_compile_definitions(${name} PRIVATE
    OLVEX_TEST_DATA_DIR="${CMAKE_CURRENT_BINARY_DIR}/testdata"
    OLVEX_GUI_PROGRAMS_DIR="${CMAKE_BINARY_DIR}/testing/gui")
  target_compile_options(${name} PRIVATE -O0)
  if(T_OWN_PCH)
    target_precompile_headers(${name} PRIVATE ${PROJECT_SOURCE_DIR}/testing/windows_test_pch.h)
  else()
    target_precompile_headers(${name} REUSE_FROM olvex_windows_test_pch)
  endif()
  add_dependencies(${name} olvex_gui_programs ${T_DEPENDS})
  # A benchmark is built the same way and run by its own script, never as a
  # test.
  if(T_BENCH)
    return()
  endif()
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  # The runner ends a stuck program itself, in time to clean up after it.
  math(EXPR inner_timeout "${T_TIMEOUT} - 20")
  set(program $<TARGET_FILE:${name}>)
  if(T_SCRIPT)
    set(program ${T_SCRIPT} $<TARGET_FILE:${name}>)
  endif()
  set(desktop)
  if(T_DESKTOP)
    set(desktop --desktop ${T_DESKTOP})
  endif()
  if(T_TEST_DRIVES)
    list(APPEND desktop --test-drives)
  endif()
  add_test(NAME ${name}
           COMMAND ${CMAKE_SOURCE_DIR}/scripts/gui-run.sh
                   --template ${OLVEX_GUI_TEMPLATE}
                   --prefix ${CMAKE_BINARY_DIR}/gui-prefixes/${name}
                   --screenshots ${CMAKE_BINARY_DIR}/screenshots/${name}
                   --timeout ${inner_timeout} ${desktop} -- ${program})
  set_tests_properties(${name} PROPERTIES TIMEOUT ${T_TIMEOUT} FIXTURES_REQUIRED wine-gui
                       WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
  if(T_LABELS)
    set_tests_properties(${name} PROPERTIES LABELS "${T_LABELS}")
  endif()
endfunction()

# olvex_publish(<target> <output-dir> SOURCE <definition source> [ARGS ...]
#               [DEPENDS <fixture files> ...] [ALL])
# Compiles a readable definition source into qzinfo.dat, qzfile.dat and
# qzloc.dat at build time, as the custom target <target> (part of the default
# build with ALL). ARGS go to olvex-publish before the source (--corrupt ...).
function(olvex_publish target outdir)
  cmake_parse_arguments(P "ALL" "SOURCE" "ARGS;DEPENDS" ${ARGN})
  set(outs ${outdir}/qzinfo.dat ${outdir}/qzfile.dat ${outdir}/qzloc.dat)
  add_custom_command(
    OUTPUT ${outs}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${outdir}
    COMMAND ${OLVEX_PUBLISH} --out ${outdir} ${P_ARGS} ${P_SOURCE}
    DEPENDS ${P_SOURCE} ${P_DEPENDS} ${OLVEX_PUBLISH_DEPENDS}
    WORKING_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}
    COMMENT "Publishing definitions into ${outdir}"
    VERBATIM)
  set(all)
  if(P_ALL)
    set(all ALL)
  endif()
  add_custom_target(${target} ${all} DEPENDS ${outs})
endfunction()
