# Benchmarks: print figures and ratios; never part of the test run.
file(GLOB bench_sources CONFIGURE_DEPENDS "${CMAKE_SOURCE_DIR}/bench/*.cc")
foreach(bench_source IN LISTS bench_sources)
  get_filename_component(bench_name "${bench_source}" NAME_WE)
  add_executable(${bench_name} "${bench_source}" "${CMAKE_SOURCE_DIR}/tests/support/process.cc"
                               "${CMAKE_SOURCE_DIR}/tests/support/files.cc"
                               "${CMAKE_SOURCE_DIR}/tests/support/packaging.cc")
  target_include_directories(${bench_name} PRIVATE "${CMAKE_SOURCE_DIR}/tests")
  target_link_libraries(${bench_name} PRIVATE xoqpack_lib)
  target_compile_options(${bench_name} PRIVATE ${XOQ_WARNINGS})
  target_compile_definitions(${bench_name} PRIVATE XOQ_BIN_DIR="${XOQ_BIN_DIR}" XOQ_BUILD_DIR="${CMAKE_BINARY_DIR}"
                                                     XOQ_WINE_PROGRAM="wine")
  set_target_properties(${bench_name} PROPERTIES EXCLUDE_FROM_ALL ON)
endforeach()
