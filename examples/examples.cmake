# The example application, compiled into a jar and packaged for both targets:
# <build>/examples/hello (Linux) and <build>/examples/hello.exe (Windows).
set(hello_dir "${CMAKE_SOURCE_DIR}/examples/hello")
set(hello_build "${CMAKE_BINARY_DIR}/examples")
file(GLOB_RECURSE hello_sources CONFIGURE_DEPENDS "${hello_dir}/src/*.java")
add_custom_command(
  OUTPUT "${hello_build}/hello.jar"
  COMMAND "${CMAKE_COMMAND}" -E rm -rf "${hello_build}/hello-classes"
  COMMAND "${JAVAC_PROGRAM}" --release 8 -Xlint:-options -d "${hello_build}/hello-classes" ${hello_sources}
  COMMAND "${JAR_PROGRAM}" --create --file "${hello_build}/hello.jar" -C "${hello_build}/hello-classes" .
  DEPENDS ${hello_sources}
  COMMENT "Compiling examples/hello")
add_custom_command(
  OUTPUT "${hello_build}/hello"
  COMMAND "${XOQ_BIN_DIR}/xoqpack" --target linux --config "${hello_dir}/hello.cfg"
          --add "${hello_build}/hello.jar=hello.jar" --output "${hello_build}/hello"
  DEPENDS xoqpack xoq-launcher "${hello_build}/hello.jar" "${hello_dir}/hello.cfg"
  COMMENT "Packaging examples/hello for Linux")
set(hello_outputs "${hello_build}/hello")
if(XOQ_WINDOWS)
  add_custom_command(
    OUTPUT "${hello_build}/hello.exe"
    COMMAND "${XOQ_BIN_DIR}/xoqpack" --target windows --config "${hello_dir}/hello.cfg"
            --add "${hello_build}/hello.jar=hello.jar" --output "${hello_build}/hello.exe"
    DEPENDS xoqpack xoq_windows "${hello_build}/hello.jar" "${hello_dir}/hello.cfg"
            "${XOQ_BIN_DIR}/xoq-launcher.exe"
    COMMENT "Packaging examples/hello for Windows")
  list(APPEND hello_outputs "${hello_build}/hello.exe")
endif()
add_custom_target(examples ALL DEPENDS ${hello_outputs})
