# Benchmarks: print figures and ratios; never part of the test run.
# Build one with `ninja -C build <name>` and run build/<name>.
xoq_java_jar("${CMAKE_BINARY_DIR}/bench/bench.jar" "${CMAKE_BINARY_DIR}/bench/classes" "${CMAKE_SOURCE_DIR}/bench/java"
             "Compiling the benchmarks' Java program")
add_custom_target(bench_jar DEPENDS "${CMAKE_BINARY_DIR}/bench/bench.jar")

file(GLOB bench_sources CONFIGURE_DEPENDS "${CMAKE_SOURCE_DIR}/bench/*.cc")
foreach(bench_source IN LISTS bench_sources)
  get_filename_component(bench_name "${bench_source}" NAME_WE)
  add_executable(${bench_name} "${bench_source}" "${CMAKE_SOURCE_DIR}/tests/support/process.cc"
                               "${CMAKE_SOURCE_DIR}/tests/support/files.cc"
                               "${CMAKE_SOURCE_DIR}/tests/support/jdks.cc"
                               "${CMAKE_SOURCE_DIR}/tests/support/packaging.cc")
  target_include_directories(${bench_name} PRIVATE "${CMAKE_SOURCE_DIR}/tests")
  # gtest: the packaging helpers also hold the tests' xoqpack checks.
  target_link_libraries(${bench_name} PRIVATE xoqpack_lib gtest)
  target_compile_options(${bench_name} PRIVATE ${XOQ_WARNINGS})
  target_compile_definitions(${bench_name} PRIVATE XOQ_BIN_DIR="${XOQ_BIN_DIR}" XOQ_BUILD_DIR="${CMAKE_BINARY_DIR}"
                                                   XOQ_WINE_PROGRAM="wine")
  add_dependencies(${bench_name} xoqpack xoq-launcher bench_jar)
  set_target_properties(${bench_name} PROPERTIES EXCLUDE_FROM_ALL ON)
endforeach()

# The splash benchmark watches a virtual display through Xlib and runs the
# splash test application, on Linux and under Wine.
target_sources(splash_bench PRIVATE "${CMAKE_SOURCE_DIR}/tests/support/x11_display.cc"
                                    "${CMAKE_SOURCE_DIR}/tests/support/test_picture.cc")
target_link_libraries(splash_bench PRIVATE ${XOQ_X11_LIBRARY})
add_dependencies(splash_bench xoq_test_apps)
if(XOQ_WINDOWS)
  add_dependencies(splash_bench xoq_windows)
endif()
