# The Windows half: launcher templates and the unit tests, cross-compiled.
enable_language(RC)
# C99 printf formats (%zu, %lld) everywhere, with the checks to match.
add_compile_definitions(__USE_MINGW_ANSI_STDIO=1)
xoq_core_library(xoq_core)

# Everything static, so that the executable needs no DLL beside it.
set(XOQ_STATIC_LINK -static -static-libgcc -static-libstdc++)
# No time stamp in the PE headers: the same sources link to the same bytes.
add_link_options(-Wl,--no-insert-timestamp)
# The support classes come from the Linux build's generated source, outside
# this build's folder.
if(XOQ_SUPPORT_CLASSES_CC)
  get_filename_component(support_classes_dir "${XOQ_SUPPORT_CLASSES_CC}" DIRECTORY)
  add_compile_options("$<$<COMPILE_LANGUAGE:C,CXX>:-ffile-prefix-map=${support_classes_dir}/=generated/>")
endif()

# The templates xoqpack copies are stripped: symbols and debugging sections
# are two thirds of the file and no user needs them. The linker's own output,
# with everything and a link map, stays in <build>/windows/unstripped for
# debugging (and for bench/template_size_bench).
set(XOQ_UNSTRIPPED_DIR "${CMAKE_BINARY_DIR}/unstripped")
function(xoq_windows_launcher name subsystem)
  add_executable(${name} "${CMAKE_SOURCE_DIR}/src/launcher/main.cc" "${CMAKE_SOURCE_DIR}/src/launcher/launcher.rc")
  target_link_libraries(${name} PRIVATE xoq_core)
  target_compile_options(${name} PRIVATE ${XOQ_WARNINGS})
  target_link_options(${name} PRIVATE ${XOQ_STATIC_LINK} -m${subsystem} -Wl,--whole-archive
                      $<TARGET_FILE:xoq_core> -Wl,--no-whole-archive -Wl,-Map=${XOQ_UNSTRIPPED_DIR}/${name}.map)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${XOQ_UNSTRIPPED_DIR}")
  # strip writes the time into the PE header unless SOURCE_DATE_EPOCH names
  # one: 0, as the linker leaves it.
  add_custom_command(TARGET ${name} POST_BUILD
                     COMMAND "${CMAKE_COMMAND}" -E env SOURCE_DATE_EPOCH=0 "${CMAKE_STRIP}" --strip-all
                             -o "${XOQ_BIN_DIR}/${name}.exe" "$<TARGET_FILE:${name}>"
                     COMMENT "Stripping the ${name} template into ${XOQ_BIN_DIR}")
endfunction()

# The product: a GUI-subsystem program whose entry is still `main`.
xoq_windows_launcher(xoq-launcher windows)
# The same code as a console program, for command-line Java applications:
# the shell waits for it, and its fatal messages go to standard error (it
# tells itself apart by the subsystem in its own PE header).
xoq_windows_launcher(xoq-launcher-console console)

# xoqpack for Windows: the same program, its seam's Windows side, finding the
# templates beside itself in ${XOQ_BIN_DIR}.
if(XOQ_SUPPORT_CLASSES_CC)
  add_library(xoqpack_lib STATIC ${XOQPACK_SOURCES} "${XOQ_SUPPORT_CLASSES_CC}")
  target_include_directories(xoqpack_lib PUBLIC "${CMAKE_SOURCE_DIR}/xoqpack")
  target_link_libraries(xoqpack_lib PUBLIC xoq_core)
  target_compile_options(xoqpack_lib PRIVATE ${XOQ_WARNINGS})
  add_executable(xoqpack "${CMAKE_SOURCE_DIR}/xoqpack/xoqpack_main.cc")
  target_link_libraries(xoqpack PRIVATE xoqpack_lib)
  target_compile_options(xoqpack PRIVATE ${XOQ_WARNINGS})
  target_link_options(xoqpack PRIVATE ${XOQ_STATIC_LINK} -mconsole)
  set_target_properties(xoqpack PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${XOQ_BIN_DIR}")
endif()

# A release build stops here: the launcher templates and xoqpack.
if(NOT XOQ_TESTS)
  return()
endif()

# A test tool, not shipped: prints the caption and the child window texts of
# a top-level window, so that the end-to-end tests can read a message box
# that the launcher shows under Wine and Xvfb.
add_executable(xoq_window_text "${CMAKE_SOURCE_DIR}/tests/e2e/windows/tools/window_text.cc")
target_compile_options(xoq_window_text PRIVATE ${XOQ_WARNINGS})
target_link_options(xoq_window_text PRIVATE ${XOQ_STATIC_LINK} -mconsole)

# A test tool, not shipped: prints what the Windows API reads from the
# resources of a packaged program (icon, version information, splash
# images, manifest, messages).
add_executable(xoq_read_resources "${CMAKE_SOURCE_DIR}/tests/e2e/windows/tools/read_resources.cc")
target_link_libraries(xoq_read_resources PRIVATE version)
target_compile_options(xoq_read_resources PRIVATE ${XOQ_WARNINGS})
target_link_options(xoq_read_resources PRIVATE ${XOQ_STATIC_LINK} -mconsole)

add_executable(xoq_unit_tests ${XOQ_TEST_SOURCES} "${CMAKE_SOURCE_DIR}/tests/support/files.cc"
                              "${CMAKE_SOURCE_DIR}/tests/support/zip_builder.cc"
                              "${CMAKE_SOURCE_DIR}/tests/support/payload_builder.cc"
                              "${CMAKE_SOURCE_DIR}/src/launcher/launcher.rc")
target_include_directories(xoq_unit_tests PRIVATE "${CMAKE_SOURCE_DIR}/tests")
target_link_libraries(xoq_unit_tests PRIVATE xoq_core gtest_main)
if(XOQ_SUPPORT_CLASSES_CC)
  target_sources(xoq_unit_tests PRIVATE ${XOQPACK_TEST_SOURCES})
  target_link_libraries(xoq_unit_tests PRIVATE xoqpack_lib)
endif()
target_compile_options(xoq_unit_tests PRIVATE ${XOQ_WARNINGS})
target_link_options(xoq_unit_tests PRIVATE ${XOQ_STATIC_LINK} -mconsole)

# Stand-ins for a Windows runtime's jvm.dll (none can exist here), for the
# runtime search and loading tests: <build>/standins/<variant>/jvm.dll.
set(standin_dir "${CMAKE_BINARY_DIR}/standins")
add_library(xoqdep SHARED "${CMAKE_SOURCE_DIR}/tests/standins/standin_dependency.c")
set_target_properties(xoqdep PROPERTIES PREFIX "" RUNTIME_OUTPUT_DIRECTORY "${standin_dir}/dependency")
target_compile_options(xoqdep PRIVATE ${XOQ_WARNINGS})
target_link_options(xoqdep PRIVATE -static-libgcc)

# A JNI library of a program's own and the library it needs beside it, for
# the tests of the extract key: <build>/test-apps/native/xoq_answer.dll.
add_library(xoq_answer_part SHARED "${CMAKE_SOURCE_DIR}/tests/standins/answer_part.c")
add_library(xoq_answer SHARED "${CMAKE_SOURCE_DIR}/tests/standins/answer_library.c")
target_link_libraries(xoq_answer PRIVATE xoq_answer_part)
target_include_directories(xoq_answer SYSTEM PRIVATE "${CMAKE_SOURCE_DIR}/src/platform/jni-win32" "${XOQ_JNI_INCLUDE}")
foreach(library xoq_answer xoq_answer_part)
  target_compile_options(${library} PRIVATE ${XOQ_WARNINGS})
  target_link_options(${library} PRIVATE -static-libgcc)
  set_target_properties(${library} PROPERTIES PREFIX "" RUNTIME_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/test-apps/native"
                                              ARCHIVE_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/test-apps/native")
endforeach()

# A stand-in library built from tests/standins/<source> as
# <build>/standins/<folder>/<name>.dll, with the given definitions.
function(xoq_standin target source name folder)
  add_library(${target} SHARED "${CMAKE_SOURCE_DIR}/tests/standins/${source}")
  target_compile_definitions(${target} PRIVATE ${ARGN})
  target_include_directories(${target} SYSTEM PRIVATE "${CMAKE_SOURCE_DIR}/src/platform/jni-win32" "${XOQ_JNI_INCLUDE}")
  target_compile_options(${target} PRIVATE ${XOQ_WARNINGS})
  target_link_options(${target} PRIVATE -static-libgcc)
  set_target_properties(${target} PROPERTIES OUTPUT_NAME ${name} PREFIX ""
                                             RUNTIME_OUTPUT_DIRECTORY "${standin_dir}/${folder}"
                                             ARCHIVE_OUTPUT_DIRECTORY "${standin_dir}/${folder}")
endfunction()
function(xoq_jvm_standin variant)
  xoq_standin(jvm-${variant} jvm_standin.c jvm ${variant} ${ARGN})
endfunction()
xoq_jvm_standin(no-entry)
xoq_jvm_standin(create STANDIN_CREATE)
xoq_jvm_standin(impl-only STANDIN_CREATE_IMPL)
xoq_jvm_standin(needs-parent STANDIN_CREATE STANDIN_NEEDS_DEPENDENCY)
target_link_libraries(jvm-needs-parent PRIVATE xoqdep)

# Stand-ins for a Windows runtime's splashscreen.dll, which record the calls
# the launcher makes: <build>/standins/splash-<variant>/splashscreen.dll.
function(xoq_splash_standin variant)
  xoq_standin(splash-${variant} splash_standin.c splashscreen splash-${variant} ${ARGN})
endfunction()
xoq_splash_standin(complete)
xoq_splash_standin(without-load-file STANDIN_WITHOUT_LOAD_FILE)
xoq_splash_standin(needs-path STANDIN_NEEDS_DEPENDENCY STANDIN_WITHOUT_FILE_JAR_NAME)
target_link_libraries(splash-needs-path PRIVATE xoqdep)

# A benchmark tool, not shipped: the least a Windows program does to show a
# window, for bench/splash_bench to compare the splash window with.
add_executable(xoq_first_window "${CMAKE_SOURCE_DIR}/bench/tools/first_window.cc")
target_compile_options(xoq_first_window PRIVATE ${XOQ_WARNINGS})
target_link_options(xoq_first_window PRIVATE ${XOQ_STATIC_LINK} -mwindows)

# Instances: a stand-in whose creation call keeps the launcher running and
# reports its instance block (registry and guard tests), and a test program
# that links the instance code with an instance block section of its own
# (transport tests). Both run under Wine.
xoq_jvm_standin(hold STANDIN_HOLD)
add_executable(xoq_instance_peer "${CMAKE_SOURCE_DIR}/tests/tools/instance_peer.cc")
target_link_libraries(xoq_instance_peer PRIVATE xoq_core)
target_compile_options(xoq_instance_peer PRIVATE ${XOQ_WARNINGS})
target_link_options(xoq_instance_peer PRIVATE ${XOQ_STATIC_LINK} -mconsole)
# Standard stream redirection and the event log under Wine: a stand-in that
# writes to the standard handles it finds, a command that records what it
# receives on its standard input, and a program that makes the event log
# calls of the EventLog natives (Wine prints what it receives).
xoq_jvm_standin(streams STANDIN_STREAMS)
# One that writes as a real runtime does, through the Universal C runtime,
# and uses nothing of the toolchain's own.
add_library(jvm-ucrt SHARED "${CMAKE_SOURCE_DIR}/tests/standins/jvm_ucrt_standin.c")
target_compile_definitions(jvm-ucrt PRIVATE _UCRT)
target_include_directories(jvm-ucrt SYSTEM PRIVATE "${CMAKE_SOURCE_DIR}/src/platform/jni-win32" "${XOQ_JNI_INCLUDE}")
target_compile_options(jvm-ucrt PRIVATE ${XOQ_WARNINGS})
target_link_options(jvm-ucrt PRIVATE -nostdlib -Wl,-e,standinEntry)
target_link_libraries(jvm-ucrt PRIVATE ucrt kernel32)
set_target_properties(jvm-ucrt PROPERTIES OUTPUT_NAME jvm PREFIX "" RUNTIME_OUTPUT_DIRECTORY "${standin_dir}/ucrt"
                                          ARCHIVE_OUTPUT_DIRECTORY "${standin_dir}/ucrt")
add_executable(xoq_stdin_sink "${CMAKE_SOURCE_DIR}/tests/e2e/windows/tools/stdin_sink.cc")
target_compile_options(xoq_stdin_sink PRIVATE ${XOQ_WARNINGS})
target_link_options(xoq_stdin_sink PRIVATE ${XOQ_STATIC_LINK} -mconsole)
add_executable(xoq_event_log_report "${CMAKE_SOURCE_DIR}/tests/e2e/windows/tools/event_log_report.cc")
target_link_libraries(xoq_event_log_report PRIVATE xoq_core)
target_compile_options(xoq_event_log_report PRIVATE ${XOQ_WARNINGS})
target_link_options(xoq_event_log_report PRIVATE ${XOQ_STATIC_LINK} -mconsole)

# The real Java runtime's tests (tests/e2e/windows/real_runtime_*): a
# library planted beside a packaged program under the name of the C runtime
# that jvm.dll imports, which announces itself and ends the process when
# loaded; and the compatibility probe's native half, a thread of its own
# attached to the runtime, as a Windows library.
add_library(planted-msvcr120 SHARED "${CMAKE_SOURCE_DIR}/tests/standins/planted_library.c")
target_compile_options(planted-msvcr120 PRIVATE ${XOQ_WARNINGS})
target_link_options(planted-msvcr120 PRIVATE -nostdlib -Wl,-e,plantedEntry)
target_link_libraries(planted-msvcr120 PRIVATE kernel32)
set_target_properties(planted-msvcr120 PROPERTIES OUTPUT_NAME msvcr120 PREFIX ""
                                                  RUNTIME_OUTPUT_DIRECTORY "${standin_dir}/planted"
                                                  ARCHIVE_OUTPUT_DIRECTORY "${standin_dir}/planted")
add_library(xoq_attached_thread SHARED "${CMAKE_SOURCE_DIR}/tests/apps/compat/native/attached_thread.c")
target_include_directories(xoq_attached_thread SYSTEM PRIVATE "${CMAKE_SOURCE_DIR}/src/platform/jni-win32"
                                                              "${XOQ_JNI_INCLUDE}")
target_compile_options(xoq_attached_thread PRIVATE ${XOQ_WARNINGS})
target_link_options(xoq_attached_thread PRIVATE -static)
set_target_properties(xoq_attached_thread PROPERTIES PREFIX "" RUNTIME_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/test-apps"
                                                     ARCHIVE_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/test-apps")
