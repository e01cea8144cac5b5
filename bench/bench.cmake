# Benchmarks: print figures and ratios; never part of the test run. They are
# built with everything else, so that a change that breaks one shows in the
# build; run one as build/<name>.
xoq_java_jar("${CMAKE_BINARY_DIR}/bench/bench.jar" "${CMAKE_BINARY_DIR}/bench/classes" "${CMAKE_SOURCE_DIR}/bench/java"
             "Compiling the benchmarks' Java program" "" SUPPORT)
add_custom_target(bench_jar DEPENDS "${CMAKE_BINARY_DIR}/bench/bench.jar")

file(GLOB bench_sources CONFIGURE_DEPENDS "${CMAKE_SOURCE_DIR}/bench/*.cc")
foreach(bench_source IN LISTS bench_sources)
  get_filename_component(bench_name "${bench_source}" NAME_WE)
  add_executable(${bench_name} "${bench_source}" "${CMAKE_SOURCE_DIR}/tests/support/process.cc"
                               "${CMAKE_SOURCE_DIR}/tests/support/files.cc"
                               "${CMAKE_SOURCE_DIR}/tests/support/jdks.cc"
                               "${CMAKE_SOURCE_DIR}/tests/support/packaging.cc"
                               "${CMAKE_SOURCE_DIR}/tests/support/background.cc")
  target_include_directories(${bench_name} PRIVATE "${CMAKE_SOURCE_DIR}/tests")
  # The test support's helpers report through GoogleTest.
  target_link_libraries(${bench_name} PRIVATE xoqpack_lib gtest)
  target_compile_options(${bench_name} PRIVATE ${XOQ_WARNINGS})
  target_compile_definitions(${bench_name} PRIVATE XOQ_BIN_DIR="${XOQ_BIN_DIR}" XOQ_BUILD_DIR="${CMAKE_BINARY_DIR}"
                                                   XOQ_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
                                                   XOQ_WINE_PROGRAM="wine")
  add_dependencies(${bench_name} xoqpack xoq-launcher bench_jar)
endforeach()

# The splash benchmark watches a virtual display through Xlib and runs the
# splash test application, on Linux and under Wine.
target_sources(splash_bench PRIVATE "${CMAKE_SOURCE_DIR}/tests/support/x11_screen.cc"
                                    "${CMAKE_SOURCE_DIR}/tests/support/virtual_display.cc"
                                    "${CMAKE_SOURCE_DIR}/tests/support/test_picture.cc")
target_link_libraries(splash_bench PRIVATE ${XOQ_X11_LIBRARY})
add_dependencies(splash_bench xoq_test_apps)
if(XOQ_WINDOWS)
  add_dependencies(splash_bench xoq_windows)
endif()

# The Wine benchmark runs the real Windows Java runtime (tests/support
# finds it) against the packaged example's GUI and console programs.
target_sources(wine_bench PRIVATE "${CMAKE_SOURCE_DIR}/tests/support/windows_runtime.cc")
add_dependencies(wine_bench examples)
if(XOQ_WINDOWS)
  add_dependencies(wine_bench xoq_windows)
endif()

# The instance benchmark also times the transport alone, with the instance
# test program of both targets.
add_dependencies(instances_bench xoq_instance_peer)
# The speed figures start the packaged examples, and the Windows launcher.
add_dependencies(archive_bench examples example_notes)
add_dependencies(self_contained_bench examples example_notes)
if(XOQ_WINDOWS)
  add_dependencies(instances_bench xoq_windows)
  add_dependencies(archive_bench xoq_windows)
endif()
add_dependencies(redirect_bench xoq_stdout_pinned)
