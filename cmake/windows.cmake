# The Windows half: launcher templates and the unit tests, cross-compiled.
enable_language(RC)
# C99 printf formats (%zu, %lld) everywhere, with the checks to match.
add_compile_definitions(__USE_MINGW_ANSI_STDIO=1)
xoq_core_library(xoq_core)

# Everything static, so that the executable needs no DLL beside it.
set(XOQ_STATIC_LINK -static -static-libgcc -static-libstdc++)

function(xoq_windows_launcher name subsystem)
  add_executable(${name} "${CMAKE_SOURCE_DIR}/src/launcher/main.cc" "${CMAKE_SOURCE_DIR}/src/launcher/launcher.rc")
  target_link_libraries(${name} PRIVATE xoq_core)
  target_compile_options(${name} PRIVATE ${XOQ_WARNINGS})
  target_link_options(${name} PRIVATE ${XOQ_STATIC_LINK} -m${subsystem} -Wl,--whole-archive
                      $<TARGET_FILE:xoq_core> -Wl,--no-whole-archive)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${XOQ_BIN_DIR}")
endfunction()

# The product: a GUI-subsystem program whose entry is still `main`.
xoq_windows_launcher(xoq-launcher windows)
# The same code as a console program, for command-line Java applications:
# the shell waits for it, and its fatal messages go to standard error (it
# tells itself apart by the subsystem in its own PE header).
xoq_windows_launcher(xoq-launcher-console console)

add_executable(xoq_unit_tests ${XOQ_TEST_SOURCES} "${CMAKE_SOURCE_DIR}/tests/support/files.cc"
                              "${CMAKE_SOURCE_DIR}/tests/support/zip_builder.cc"
                              "${CMAKE_SOURCE_DIR}/tests/support/payload_builder.cc"
                              "${CMAKE_SOURCE_DIR}/src/launcher/launcher.rc")
target_include_directories(xoq_unit_tests PRIVATE "${CMAKE_SOURCE_DIR}/tests")
target_link_libraries(xoq_unit_tests PRIVATE xoq_core gtest_main)
target_compile_options(xoq_unit_tests PRIVATE ${XOQ_WARNINGS})
target_link_options(xoq_unit_tests PRIVATE ${XOQ_STATIC_LINK} -mconsole)
