# The redirection and event log probe: compiled against the support classes
# (it uses com.tarvolin.xoq.EventLog), which the payload then provides.
set(redirect_app "${CMAKE_CURRENT_LIST_DIR}")
set(redirect_out "${CMAKE_BINARY_DIR}/test-apps/redirect")
file(GLOB_RECURSE redirect_sources CONFIGURE_DEPENDS "${redirect_app}/src/*.java")
add_custom_command(
  OUTPUT "${redirect_out}/redirect.jar"
  COMMAND "${CMAKE_COMMAND}" -E rm -rf "${redirect_out}"
  COMMAND "${JAVAC_PROGRAM}" --release 8 -Xlint:-options -encoding UTF-8 -cp "${support_classes_dir}"
          -d "${redirect_out}/classes" ${redirect_sources}
  COMMAND "${JAR_PROGRAM}" --create --file "${redirect_out}/redirect.jar" -C "${redirect_out}/classes" .
  DEPENDS ${redirect_sources} "${redirect_app}/build.cmake" "${support_classes_cc}"
  COMMENT "Building the redirection probe")
list(APPEND xoq_test_app_outputs "${redirect_out}/redirect.jar")
