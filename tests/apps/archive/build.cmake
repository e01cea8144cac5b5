# The archive probe: one source tree compiled at once, then split into the
# jars an application ships: app.jar and lib/util.jar with manifests,
# lib/other.jar, and lib/outer.jar holding deep/inner.jar (both stored), plus
# the loose files of top/ for the top of the payload.
set(archive_app "${CMAKE_CURRENT_LIST_DIR}")
set(archive_out "${CMAKE_BINARY_DIR}/test-apps/archive")
file(GLOB_RECURSE archive_sources CONFIGURE_DEPENDS "${archive_app}/src/*.java")
file(GLOB_RECURSE archive_inputs CONFIGURE_DEPENDS "${archive_app}/jars/*")
set(archive_jars "${archive_out}/app.jar" "${archive_out}/lib/util.jar" "${archive_out}/lib/other.jar"
                 "${archive_out}/lib/outer.jar" "${archive_out}/deep/inner.jar")
add_custom_command(
  OUTPUT ${archive_jars}
  COMMAND "${CMAKE_COMMAND}" -E rm -rf "${archive_out}"
  COMMAND "${CMAKE_COMMAND}" -E make_directory "${archive_out}/lib" "${archive_out}/deep"
  COMMAND "${JAVAC_PROGRAM}" --release 8 -Xlint:-options -encoding UTF-8 -cp "${support_classes_dir}"
          -d "${archive_out}/classes" ${archive_sources}
  COMMAND "${JAR_PROGRAM}" --create --file "${archive_out}/app.jar" --manifest "${archive_app}/jars/app/MANIFEST.MF"
          -C "${archive_out}/classes" aprobe
  COMMAND "${JAR_PROGRAM}" --create --file "${archive_out}/lib/util.jar" --manifest "${archive_app}/jars/util/MANIFEST.MF"
          -C "${archive_out}/classes" util -C "${archive_app}/jars/util" META-INF/services
          -C "${archive_app}/jars/util" shared.txt
  COMMAND "${JAR_PROGRAM}" --create --file "${archive_out}/lib/other.jar" -C "${archive_out}/classes" other
          -C "${archive_app}/jars/other" META-INF/services
  COMMAND "${JAR_PROGRAM}" --create --no-compress --file "${archive_out}/deep/inner.jar" -C "${archive_out}/classes"
          deep -C "${archive_app}/jars/inner" deep.txt
  COMMAND "${JAR_PROGRAM}" --create --no-compress --file "${archive_out}/lib/outer.jar" -C "${archive_out}/deep"
          inner.jar
  DEPENDS ${archive_sources} ${archive_inputs} "${archive_app}/build.cmake" "${support_classes_cc}"
  COMMENT "Building the archive probe's jars")
list(APPEND xoq_test_app_outputs ${archive_jars})
