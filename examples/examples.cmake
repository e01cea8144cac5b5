# The example application, compiled into a jar and packaged for both targets:
# <build>/examples/hello (Linux) and <build>/examples/hello.exe (Windows).
set(hello_dir "${CMAKE_SOURCE_DIR}/examples/hello")
set(hello_build "${CMAKE_BINARY_DIR}/examples")
xoq_java_jar("${hello_build}/hello.jar" "${hello_build}/hello-classes" "${hello_dir}/src" "Compiling examples/hello")
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

# examples/notes: an application jar, a library jar and a jar of service
# providers nested in the payload, loose resources at its top. Packaged as
# <build>/examples/notes and notes.exe; the benchmarks use it too.
set(notes_dir "${CMAKE_SOURCE_DIR}/examples/notes")
set(notes_build "${CMAKE_BINARY_DIR}/examples/notes-build")
file(GLOB_RECURSE notes_sources CONFIGURE_DEPENDS "${notes_dir}/src/*.java")
file(GLOB_RECURSE notes_inputs CONFIGURE_DEPENDS "${notes_dir}/jars/*" "${notes_dir}/top/*")
set(notes_jars "${notes_build}/notes.jar" "${notes_build}/lib/text.jar" "${notes_build}/lib/exporters.jar")
add_custom_command(
  OUTPUT ${notes_jars}
  COMMAND "${CMAKE_COMMAND}" -E rm -rf "${notes_build}"
  COMMAND "${CMAKE_COMMAND}" -E make_directory "${notes_build}/lib"
  COMMAND "${JAVAC_PROGRAM}" --release 8 -Xlint:-options -encoding UTF-8 -d "${notes_build}/classes" ${notes_sources}
  COMMAND "${JAR_PROGRAM}" --create --file "${notes_build}/notes.jar" --manifest "${notes_dir}/jars/app/MANIFEST.MF"
          -C "${notes_build}/classes" com/example/notes -C "${notes_dir}/jars/app" com
  COMMAND "${JAR_PROGRAM}" --create --file "${notes_build}/lib/text.jar" --manifest "${notes_dir}/jars/text/MANIFEST.MF"
          -C "${notes_build}/classes" com/example/text
  COMMAND "${JAR_PROGRAM}" --create --file "${notes_build}/lib/exporters.jar" -C "${notes_build}/classes"
          com/example/exporters -C "${notes_dir}/jars/exporters" META-INF/services
  DEPENDS ${notes_sources} ${notes_inputs}
  COMMENT "Compiling examples/notes")
set(notes_pack_arguments --config "${notes_dir}/notes.cfg" --add "${notes_build}/notes.jar=notes.jar"
                         --add "${notes_build}/lib/text.jar=lib/text.jar"
                         --add "${notes_build}/lib/exporters.jar=lib/exporters.jar" --add-tree "${notes_dir}/top")
add_custom_command(
  OUTPUT "${hello_build}/notes"
  COMMAND "${XOQ_BIN_DIR}/xoqpack" --target linux ${notes_pack_arguments} --output "${hello_build}/notes"
  DEPENDS xoqpack xoq-launcher ${notes_jars} "${notes_dir}/notes.cfg" ${notes_inputs}
  COMMENT "Packaging examples/notes for Linux")
add_custom_target(example_notes ALL DEPENDS "${hello_build}/notes")
if(XOQ_WINDOWS)
  add_custom_command(
    OUTPUT "${hello_build}/notes.exe"
    COMMAND "${XOQ_BIN_DIR}/xoqpack" --target windows ${notes_pack_arguments} --output "${hello_build}/notes.exe"
    DEPENDS xoqpack xoq_windows ${notes_jars} "${notes_dir}/notes.cfg" ${notes_inputs} "${XOQ_BIN_DIR}/xoq-launcher.exe"
    COMMENT "Packaging examples/notes for Windows")
  add_custom_target(example_notes_windows ALL DEPENDS "${hello_build}/notes.exe")
endif()

# examples/opener: "open in the running window" with `singleinstance custom`:
# the first launch shows a Swing window, later launches send it their
# arguments. Packaged as <build>/examples/opener and opener.exe.
set(opener_dir "${CMAKE_SOURCE_DIR}/examples/opener")
xoq_java_jar("${hello_build}/opener.jar" "${hello_build}/opener-classes" "${opener_dir}/src"
             "Compiling examples/opener" "" SUPPORT)
set(opener_outputs "")
foreach(target linux windows)
  set(output "${hello_build}/opener")
  set(launcher xoq-launcher)
  if(target STREQUAL "windows")
    if(NOT XOQ_WINDOWS)
      continue()
    endif()
    set(output "${hello_build}/opener.exe")
    set(launcher xoq_windows "${XOQ_BIN_DIR}/xoq-launcher.exe")
  endif()
  add_custom_command(
    OUTPUT "${output}"
    COMMAND "${XOQ_BIN_DIR}/xoqpack" --target ${target} --config "${opener_dir}/opener.cfg"
            --add "${hello_build}/opener.jar=opener.jar" --output "${output}"
    DEPENDS xoqpack ${launcher} "${hello_build}/opener.jar" "${opener_dir}/opener.cfg"
    COMMENT "Packaging examples/opener for ${target}")
  list(APPEND opener_outputs "${output}")
endforeach()
add_custom_target(example_opener ALL DEPENDS ${opener_outputs})
