# Tests: unit tests for both targets (the Windows ones under Wine) and
# end-to-end tests that package real executables and run them.
include(GoogleTest)

find_program(WINE_PROGRAM wine)
set(XOQ_WINE_PREFIX "${CMAKE_BINARY_DIR}/wine-prefix")
set(XOQ_WINE_ENVIRONMENT "WINEPREFIX=${XOQ_WINE_PREFIX};WINEDEBUG=-all;WINEDLLOVERRIDES=mscoree,mshtml=")

# --- Linux unit tests, under AddressSanitizer and UndefinedBehaviorSanitizer -
set(XOQ_SANITIZE -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
file(GLOB XOQ_TEST_SUPPORT_SOURCES CONFIGURE_DEPENDS "${CMAKE_SOURCE_DIR}/tests/support/*.cc")
# The virtual display runs scripts/virtual-display.sh, in whichever program
# links it.
set_source_files_properties("${CMAKE_SOURCE_DIR}/tests/support/virtual_display.cc"
                            PROPERTIES COMPILE_DEFINITIONS "XOQ_SOURCE_DIR=\"${CMAKE_SOURCE_DIR}\"")
add_executable(xoq_unit_tests ${XOQ_TEST_SOURCES} ${XOQPACK_TEST_SOURCES} ${XOQ_CORE_SOURCES} ${XOQPACK_SOURCES}
                              ${XOQ_TEST_SUPPORT_SOURCES} "${support_classes_cc}")
target_include_directories(xoq_unit_tests PRIVATE "${CMAKE_SOURCE_DIR}/src" "${CMAKE_BINARY_DIR}/generated" "${CMAKE_SOURCE_DIR}/xoqpack"
                                                  "${CMAKE_SOURCE_DIR}/tests")
target_include_directories(xoq_unit_tests SYSTEM PRIVATE "${XOQ_JNI_INCLUDE}" "${XOQ_JNI_INCLUDE}/linux")
target_compile_options(xoq_unit_tests PRIVATE ${XOQ_WARNINGS} ${XOQ_SANITIZE})
target_link_options(xoq_unit_tests PRIVATE ${XOQ_SANITIZE})
target_link_libraries(xoq_unit_tests PRIVATE gtest_main ${LIBDEFLATE_STATIC} ${ZLIB_STATIC} pthread dl)
target_compile_definitions(xoq_unit_tests PRIVATE XOQ_BIN_DIR="${XOQ_BIN_DIR}" XOQ_BUILD_DIR="${CMAKE_BINARY_DIR}"
                                                  XOQ_WINE_PROGRAM="${WINE_PROGRAM}")
gtest_discover_tests(xoq_unit_tests
  DISCOVERY_MODE PRE_TEST
  TEST_PREFIX "linux."
  PROPERTIES TIMEOUT 120
             ENVIRONMENT "ASAN_OPTIONS=detect_leaks=1:abort_on_error=1;UBSAN_OPTIONS=print_stacktrace=1")

# --- The layer order of src/ (docs/architecture.md) ---------------------------
add_test(NAME layers COMMAND "${CMAKE_SOURCE_DIR}/scripts/check-layers.sh" "${CMAKE_SOURCE_DIR}")
set_tests_properties(layers PROPERTIES TIMEOUT 60)

# --- Fuzz targets: a fixed number of inputs each ------------------------------
# Built by the xoq_fuzz external project (clang, libFuzzer); longer runs by
# hand are described in tests/fuzz/README.md.
if(XOQ_FUZZ)
  file(GLOB xoq_fuzz_sources CONFIGURE_DEPENDS "${CMAKE_SOURCE_DIR}/tests/fuzz/*_fuzz.cc")
  foreach(source IN LISTS xoq_fuzz_sources)
    get_filename_component(fuzzer "${source}" NAME_WE)
    string(REGEX REPLACE "_fuzz$" "" target "${fuzzer}")
    add_test(NAME "fuzz.${target}"
             COMMAND "${CMAKE_SOURCE_DIR}/scripts/run-fuzzer.sh" "${CMAKE_BINARY_DIR}/fuzz/${fuzzer}"
                     "${CMAKE_SOURCE_DIR}/tests/fuzz/seeds/${target}" "${CMAKE_BINARY_DIR}/fuzz-runs/${target}" 200000)
    set_tests_properties("fuzz.${target}" PROPERTIES TIMEOUT 600)
  endforeach()
endif()

# --- Wine prefix, shared by every Windows test -------------------------------
add_test(NAME wine.prefix COMMAND "${CMAKE_SOURCE_DIR}/scripts/wine-prefix.sh" start "${XOQ_WINE_PREFIX}")
# release-wine: the prefix and the release archives, for the tests that
# run the archives' programs under Wine (gtest_discover_tests sets one
# fixture name and one ENVIRONMENT entry on the tests it finds).
set_tests_properties(wine.prefix PROPERTIES FIXTURES_SETUP "wine;release-wine" TIMEOUT 300)
add_test(NAME wine.shutdown COMMAND "${CMAKE_SOURCE_DIR}/scripts/wine-prefix.sh" stop "${XOQ_WINE_PREFIX}")
set_tests_properties(wine.shutdown PROPERTIES FIXTURES_CLEANUP "wine;release-wine" TIMEOUT 60)

# --- Windows unit tests: one ctest entry per test suite ----------------------
# This list is made on the Linux side, whose sources leave out the
# Windows-only tests (-win32_test.cc); their suites are added here.
set(windows_suites "")
file(GLOB windows_only_test_sources CONFIGURE_DEPENDS "${CMAKE_SOURCE_DIR}/src/*/*-win32_test.cc"
                                                     "${CMAKE_SOURCE_DIR}/xoqpack/*-win32_test.cc")
foreach(test_source IN LISTS XOQ_TEST_SOURCES XOQPACK_TEST_SOURCES windows_only_test_sources)
  if(test_source MATCHES "-posix_test\\.cc$")
    continue()
  endif()
  file(STRINGS "${test_source}" lines REGEX "^TEST(_F|_P)?\\(")
  foreach(line IN LISTS lines)
    string(REGEX REPLACE "^TEST(_F|_P)?\\(([A-Za-z0-9_]+),.*" "\\2" suite "${line}")
    list(APPEND windows_suites "${suite}")
  endforeach()
endforeach()
list(REMOVE_DUPLICATES windows_suites)
# Suites whose windows need a display run on one of their own (below).
set(windows_display_suites NativeSplashWindow)
list(REMOVE_ITEM windows_suites ${windows_display_suites})
set(windows_unit_tests "${CMAKE_BINARY_DIR}/windows/xoq_unit_tests.exe")
foreach(suite IN LISTS windows_suites)
  add_test(NAME "windows.${suite}"
           COMMAND "${CMAKE_SOURCE_DIR}/scripts/run-under-wine.sh" 300 "${windows_unit_tests}"
                   "--gtest_filter=${suite}.*:${suite}/*")
  set_tests_properties("windows.${suite}" PROPERTIES FIXTURES_REQUIRED wine TIMEOUT 320
                                                     ENVIRONMENT "${XOQ_WINE_ENVIRONMENT}")
endforeach()

# --- Windows unit tests that create windows: Wine on an Xvfb display ---------
# Their prefix is their own (a prefix's desktop binds to one display), so
# they take turns.
foreach(suite IN LISTS windows_display_suites)
  add_test(NAME "windows.${suite}"
           COMMAND "${CMAKE_SOURCE_DIR}/scripts/run-under-wine-display.sh" 300 "${CMAKE_BINARY_DIR}/wine-prefix-display"
                   "${windows_unit_tests}" "--gtest_filter=${suite}.*:${suite}/*")
  set_tests_properties("windows.${suite}" PROPERTIES TIMEOUT 420 RESOURCE_LOCK wine-prefix-display)
endforeach()

# --- Java applications the end-to-end tests package ----------------------------
# tests/apps/<name>/src is compiled into <build>/test-apps/<name>/classes and
# <name>.jar.
file(GLOB xoq_test_app_dirs LIST_DIRECTORIES true "${CMAKE_SOURCE_DIR}/tests/apps/*")
set(xoq_test_app_outputs "")
foreach(app_dir IN LISTS xoq_test_app_dirs)
  if(EXISTS "${app_dir}/build.cmake")
    include("${app_dir}/build.cmake")  # an application of several jars
    continue()
  elseif(NOT IS_DIRECTORY "${app_dir}/src")
    continue()
  endif()
  get_filename_component(app "${app_dir}" NAME)
  set(app_build "${CMAKE_BINARY_DIR}/test-apps/${app}")
  xoq_java_jar("${app_build}/${app}.jar" "${app_build}/classes" "${app_dir}/src" "Compiling the test application ${app}"
               "${app_dir}/resources" SUPPORT)
  list(APPEND xoq_test_app_outputs "${app_build}/${app}.jar")
endforeach()
add_custom_target(xoq_test_apps ALL DEPENDS ${xoq_test_app_outputs})

# A small Java runtime (java.base of the build's JDK, with its class data
# archive) that the end-to-end tests put beside or inside programs with
# xoqpack --runtime: linked once here, so that only the tests of --jlink
# itself wait for jlink.
get_filename_component(xoq_test_jdk "${XOQ_JNI_INCLUDE}" DIRECTORY)
set(xoq_test_runtime "${CMAKE_BINARY_DIR}/test-runtime")
add_custom_command(
  OUTPUT "${xoq_test_runtime}/release"
  COMMAND "${CMAKE_SOURCE_DIR}/scripts/link-test-runtime.sh" "${xoq_test_jdk}/bin/jlink" "${xoq_test_runtime}"
  DEPENDS "${CMAKE_SOURCE_DIR}/scripts/link-test-runtime.sh"
  COMMENT "Linking a small Java runtime for the tests")
add_custom_target(xoq_test_runtime ALL DEPENDS "${xoq_test_runtime}/release")

# A JVMTI agent that leaves a helper process behind (Linux end-to-end tests).
add_library(xoq_spawning_agent SHARED "${CMAKE_SOURCE_DIR}/tests/standins/spawning_agent.c")
target_include_directories(xoq_spawning_agent SYSTEM PRIVATE "${XOQ_JNI_INCLUDE}" "${XOQ_JNI_INCLUDE}/linux")
target_compile_options(xoq_spawning_agent PRIVATE ${XOQ_WARNINGS})
set_target_properties(xoq_spawning_agent PROPERTIES LIBRARY_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/test-apps")

# A JNI library of a program's own and the library it needs, found beside it
# through its RUNPATH ($ORIGIN) only, as a program ships them (the tests of
# the extract key unpack both into the user's cache).
add_library(xoq_answer_part SHARED "${CMAKE_SOURCE_DIR}/tests/standins/answer_part.c")
add_library(xoq_answer SHARED "${CMAKE_SOURCE_DIR}/tests/standins/answer_library.c")
target_link_libraries(xoq_answer PRIVATE xoq_answer_part)
target_include_directories(xoq_answer SYSTEM PRIVATE "${XOQ_JNI_INCLUDE}" "${XOQ_JNI_INCLUDE}/linux")
target_compile_options(xoq_answer PRIVATE ${XOQ_WARNINGS})
target_compile_options(xoq_answer_part PRIVATE ${XOQ_WARNINGS})
set_target_properties(xoq_answer xoq_answer_part PROPERTIES
  LIBRARY_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/test-apps/native"
  BUILD_WITH_INSTALL_RPATH TRUE INSTALL_RPATH "$ORIGIN")

# --- End-to-end tests ---------------------------------------------------------
# tests/e2e/common runs against both targets; tests/e2e/<target> against one.
file(GLOB XOQ_E2E_COMMON_SOURCES CONFIGURE_DEPENDS "${CMAKE_SOURCE_DIR}/tests/e2e/common/*.cc")
function(xoq_e2e_tests name directory)
  file(GLOB sources CONFIGURE_DEPENDS "${CMAKE_SOURCE_DIR}/tests/e2e/${directory}/*.cc")
  add_executable(${name} ${sources} ${XOQ_E2E_COMMON_SOURCES} ${XOQ_TEST_SUPPORT_SOURCES})
  target_include_directories(${name} PRIVATE "${CMAKE_SOURCE_DIR}/tests")
  target_link_libraries(${name} PRIVATE gtest_main xoqpack_lib)
  target_compile_options(${name} PRIVATE ${XOQ_WARNINGS})
  target_compile_definitions(${name} PRIVATE XOQ_BIN_DIR="${XOQ_BIN_DIR}" XOQ_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
                                             XOQ_BUILD_DIR="${CMAKE_BINARY_DIR}" XOQ_WINE_PROGRAM="${WINE_PROGRAM}"
                                             XOQ_E2E_WINDOWS=$<STREQUAL:${directory},windows>)
  add_dependencies(${name} xoqpack xoq-launcher xoq_test_apps)
endfunction()

# Instances: a program that links the instance code and moves byte messages
# through the transport, for the transport tests on both targets (the
# Windows one is built in <build>/windows).
add_executable(xoq_instance_peer "${CMAKE_SOURCE_DIR}/tests/tools/instance_peer.cc")
target_link_libraries(xoq_instance_peer PRIVATE xoq_core)
target_compile_options(xoq_instance_peer PRIVATE ${XOQ_WARNINGS})
set_target_properties(xoq_instance_peer PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/test-tools")

xoq_e2e_tests(xoq_e2e_linux linux)
add_dependencies(xoq_e2e_linux xoq_instance_peer example_opener)
add_dependencies(xoq_e2e_linux examples example_notes xoq_spawning_agent xoq_test_runtime)
add_dependencies(xoq_e2e_linux xoq_attached_thread xoq_answer)
# The tests that link runtimes with jlink take minutes on a busy machine.
gtest_discover_tests(xoq_e2e_linux DISCOVERY_MODE PRE_TEST TEST_PREFIX "e2e.linux." PROPERTIES TIMEOUT 900)

if(XOQ_WINDOWS)
  xoq_e2e_tests(xoq_e2e_windows windows)
  add_dependencies(xoq_e2e_windows xoq_windows)
  gtest_discover_tests(xoq_e2e_windows DISCOVERY_MODE PRE_TEST TEST_PREFIX "e2e.windows."
    PROPERTIES TIMEOUT 300 FIXTURES_REQUIRED wine ENVIRONMENT "${XOQ_WINE_ENVIRONMENT}")
endif()

# Runs a program whose descriptor 1 cannot be replaced (a seccomp filter), for
# the Java-side redirection on Linux (end-to-end tests and the benchmark).
add_executable(xoq_stdout_pinned "${CMAKE_SOURCE_DIR}/tests/tools/stdout_pinned.c")
target_compile_options(xoq_stdout_pinned PRIVATE ${XOQ_WARNINGS})
set_target_properties(xoq_stdout_pinned PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/test-tools")
add_dependencies(xoq_e2e_linux xoq_stdout_pinned)

# --- Tests that look at a screen read it through Xlib (tests/support/x11_screen) --
find_library(XOQ_X11_LIBRARY X11 REQUIRED)
target_link_libraries(xoq_unit_tests PRIVATE ${XOQ_X11_LIBRARY})
target_link_libraries(xoq_e2e_linux PRIVATE ${XOQ_X11_LIBRARY})
if(XOQ_WINDOWS)
  target_link_libraries(xoq_e2e_windows PRIVATE ${XOQ_X11_LIBRARY})
endif()

# --- The release: its archives built, and used from where they are unpacked,
# as a user without a build tree would; its programs the same bytes as this
# build's, which another folder held. (Two whole release builds from two
# copies of the tree take longer than this suite may:
# scripts/check-release-reproducible.sh does that by hand.) ---
set(XOQ_RELEASE_DIR "${CMAKE_BINARY_DIR}/release")
add_test(NAME release.build COMMAND "${CMAKE_SOURCE_DIR}/scripts/release.sh" --build-dir "${XOQ_RELEASE_DIR}/build"
                                    --dist-dir "${XOQ_RELEASE_DIR}/dist")
# The build keeps both cores busy.
set_tests_properties(release.build PROPERTIES FIXTURES_SETUP "release;release-wine" TIMEOUT 3600 PROCESSORS 2)
add_test(NAME release.reproducible COMMAND "${CMAKE_SOURCE_DIR}/scripts/compare-builds.sh" "${CMAKE_BINARY_DIR}"
                                           "${XOQ_RELEASE_DIR}/build")
set_tests_properties(release.reproducible PROPERTIES FIXTURES_REQUIRED release TIMEOUT 120)
file(GLOB xoq_release_test_sources CONFIGURE_DEPENDS "${CMAKE_SOURCE_DIR}/tests/e2e/release/*.cc")
add_executable(xoq_e2e_release ${xoq_release_test_sources} ${XOQ_TEST_SUPPORT_SOURCES})
target_include_directories(xoq_e2e_release PRIVATE "${CMAKE_SOURCE_DIR}/tests")
target_link_libraries(xoq_e2e_release PRIVATE gtest_main xoqpack_lib ${XOQ_X11_LIBRARY})
target_compile_options(xoq_e2e_release PRIVATE ${XOQ_WARNINGS})
target_compile_definitions(xoq_e2e_release PRIVATE XOQ_BIN_DIR="${XOQ_BIN_DIR}" XOQ_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
                                                   XOQ_BUILD_DIR="${CMAKE_BINARY_DIR}"
                                                   XOQ_WINE_PROGRAM="${WINE_PROGRAM}"
                                                   XOQ_RELEASE_DIST="${XOQ_RELEASE_DIR}/dist")
gtest_discover_tests(xoq_e2e_release DISCOVERY_MODE PRE_TEST TEST_PREFIX "e2e.release."
  PROPERTIES TIMEOUT 300 FIXTURES_REQUIRED release-wine ENVIRONMENT "WINEPREFIX=${XOQ_WINE_PREFIX}")

include("${CMAKE_SOURCE_DIR}/tests/maven/maven.cmake")
