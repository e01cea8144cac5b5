# The Linux half: launcher, xoqpack, support classes, tests, benchmarks, and
# the Windows build as an external project.
include(ExternalProject)
enable_testing()

# --- Launcher --------------------------------------------------------------
xoq_core_library(xoq_core)
add_executable(xoq-launcher "${CMAKE_SOURCE_DIR}/src/launcher/main.cc")
target_link_libraries(xoq-launcher PRIVATE xoq_core)
target_compile_options(xoq-launcher PRIVATE ${XOQ_WARNINGS})
# The runtime finds the executable's built-in JNI library and its natives by
# name among the executable's dynamic symbols. Nothing else refers to most of
# them, so every object of the core library is linked in, as for Windows.
target_link_options(xoq-launcher PRIVATE -Wl,--whole-archive $<TARGET_FILE:xoq_core> -Wl,--no-whole-archive
                    -Wl,--export-dynamic-symbol=JNI_OnLoad_xoq -Wl,--export-dynamic-symbol=Java_com_tarvolin_xoq_*)
set_target_properties(xoq-launcher PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${XOQ_BIN_DIR}")

# --- Java support classes, embedded into xoqpack ---------------------------
find_program(JAVAC_PROGRAM javac REQUIRED)
find_program(JAR_PROGRAM jar REQUIRED)
file(GLOB_RECURSE XOQ_JAVA_SOURCES CONFIGURE_DEPENDS "${CMAKE_SOURCE_DIR}/java/*.java")
# The service files that install the support classes' providers (the "xoq:"
# file system) in the runtime.
file(GLOB_RECURSE XOQ_JAVA_SERVICES CONFIGURE_DEPENDS "${CMAKE_SOURCE_DIR}/java/META-INF/*")
set(support_classes_dir "${CMAKE_BINARY_DIR}/java-classes")
set(support_classes_cc "${CMAKE_BINARY_DIR}/generated/support_classes.cc")
add_custom_command(
  OUTPUT "${support_classes_cc}"
  COMMAND "${CMAKE_COMMAND}" -E rm -rf "${support_classes_dir}"
  COMMAND "${JAVAC_PROGRAM}" --release 8 -Xlint:all -Xlint:-options -Werror -encoding UTF-8 -d "${support_classes_dir}"
          ${XOQ_JAVA_SOURCES}
  COMMAND "${CMAKE_COMMAND}" -E copy_directory "${CMAKE_SOURCE_DIR}/java/META-INF" "${support_classes_dir}/META-INF"
  COMMAND "${CMAKE_COMMAND}" -DCLASSES=${support_classes_dir} -DOUTPUT=${support_classes_cc}
          -P "${CMAKE_SOURCE_DIR}/cmake/embed_classes.cmake"
  DEPENDS ${XOQ_JAVA_SOURCES} ${XOQ_JAVA_SERVICES} "${CMAKE_SOURCE_DIR}/cmake/embed_classes.cmake"
  COMMENT "Compiling the Java support classes")
# The Windows build compiles the same file into xoqpack.exe.
add_custom_target(xoq_support_classes DEPENDS "${support_classes_cc}")

# --- xoqpack ---------------------------------------------------------------
add_library(xoqpack_lib STATIC ${XOQPACK_SOURCES} "${support_classes_cc}")
target_include_directories(xoqpack_lib PUBLIC "${CMAKE_SOURCE_DIR}/xoqpack")
target_link_libraries(xoqpack_lib PUBLIC xoq_core)
target_compile_options(xoqpack_lib PRIVATE ${XOQ_WARNINGS})
add_executable(xoqpack "${CMAKE_SOURCE_DIR}/xoqpack/xoqpack_main.cc")
target_link_libraries(xoqpack PRIVATE xoqpack_lib)
target_compile_options(xoqpack PRIVATE ${XOQ_WARNINGS})
set_target_properties(xoqpack PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${XOQ_BIN_DIR}")

# --- Windows, cross-compiled -----------------------------------------------
option(XOQ_WINDOWS "Also build the Windows launcher with mingw-w64" ON)
if(XOQ_WINDOWS)
  ExternalProject_Add(xoq_windows
    SOURCE_DIR "${CMAKE_SOURCE_DIR}"
    BINARY_DIR "${CMAKE_BINARY_DIR}/windows"
    CMAKE_ARGS -DCMAKE_TOOLCHAIN_FILE=${CMAKE_SOURCE_DIR}/cmake/mingw-w64.cmake
               -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE}
               -DXOQ_BIN_DIR=${XOQ_BIN_DIR}
               -DXOQ_JNI_INCLUDE=${XOQ_JNI_INCLUDE}
               -DGOOGLETEST_SOURCE=${GOOGLETEST_SOURCE}
               -DXOQ_TESTS=${XOQ_TESTS}
               -DXOQ_SUPPORT_CLASSES_CC=${support_classes_cc}
    DEPENDS xoq_support_classes
    BUILD_ALWAYS ON
    INSTALL_COMMAND ""
    USES_TERMINAL_BUILD ON)
endif()

# A release build stops here: launchers, xoqpack and the support classes.
if(NOT XOQ_TESTS)
  return()
endif()

# --- Fuzz targets, built with clang for libFuzzer ---------------------------
option(XOQ_FUZZ "Build the libFuzzer targets with clang (tests/fuzz)" ON)
if(XOQ_FUZZ)
  find_program(CLANGXX_PROGRAM clang++ REQUIRED)
  ExternalProject_Add(xoq_fuzz
    SOURCE_DIR "${CMAKE_SOURCE_DIR}/tests/fuzz"
    BINARY_DIR "${CMAKE_BINARY_DIR}/fuzz"
    CMAKE_ARGS -DCMAKE_CXX_COMPILER=${CLANGXX_PROGRAM}
               -DCMAKE_BUILD_TYPE=RelWithDebInfo
               -DXOQ_JNI_INCLUDE=${XOQ_JNI_INCLUDE}
    BUILD_ALWAYS ON
    INSTALL_COMMAND ""
    USES_TERMINAL_BUILD ON)
endif()

# Compiles the Java sources below `source_dir` (for Java 8) into
# `classes_dir` and makes `jar` of them, with the files of `resource_dir`
# (when given and present) added as they are. A sixth argument SUPPORT
# compiles them against the support classes (com.tarvolin.xoq).
function(xoq_java_jar jar classes_dir source_dir comment)
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS "${source_dir}/*.java")
  set(resource_dir "${ARGV4}")
  set(class_path "")
  set(class_path_inputs "")
  if("${ARGV5}" STREQUAL "SUPPORT")
    set(class_path -cp "${support_classes_dir}")
    set(class_path_inputs "${support_classes_cc}")
  endif()
  set(copy_resources "")
  set(resources "")
  if(resource_dir AND IS_DIRECTORY "${resource_dir}")
    file(GLOB_RECURSE resources CONFIGURE_DEPENDS "${resource_dir}/*")
    set(copy_resources COMMAND "${CMAKE_COMMAND}" -E copy_directory "${resource_dir}" "${classes_dir}")
  endif()
  add_custom_command(
    OUTPUT "${jar}"
    COMMAND "${CMAKE_COMMAND}" -E rm -rf "${classes_dir}"
    COMMAND "${JAVAC_PROGRAM}" --release 8 -Xlint:-options -encoding UTF-8 ${class_path} -d "${classes_dir}" ${sources}
    ${copy_resources}
    COMMAND "${JAR_PROGRAM}" --create --file "${jar}" -C "${classes_dir}" .
    DEPENDS ${sources} ${resources} ${class_path_inputs}
    COMMENT "${comment}")
endfunction()

# --- Example application ---------------------------------------------------
include("${CMAKE_SOURCE_DIR}/examples/examples.cmake")

# --- Tests -----------------------------------------------------------------
include("${CMAKE_SOURCE_DIR}/tests/tests.cmake")

# --- Benchmarks ------------------------------------------------------------
include("${CMAKE_SOURCE_DIR}/bench/bench.cmake")
