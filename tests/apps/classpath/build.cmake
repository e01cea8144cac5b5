# Jars that lean on their manifests' Class-Path: app.jar names lib/one.jar,
# which names lib/two.jar and "lib/with space.jar" (percent-encoded), itself
# and app.jar again; broken.jar names a jar that is not there.
set(classpath_app "${CMAKE_CURRENT_LIST_DIR}")
set(classpath_out "${CMAKE_BINARY_DIR}/test-apps/classpath")
file(GLOB_RECURSE classpath_sources CONFIGURE_DEPENDS "${classpath_app}/src/*.java")
file(GLOB classpath_manifests CONFIGURE_DEPENDS "${classpath_app}/jars/*.MF")
set(classpath_jars "${classpath_out}/app.jar" "${classpath_out}/broken.jar" "${classpath_out}/lib/one.jar"
                   "${classpath_out}/lib/two.jar" "${classpath_out}/lib/with space.jar")
add_custom_command(
  OUTPUT ${classpath_jars}
  COMMAND "${CMAKE_COMMAND}" -E rm -rf "${classpath_out}"
  COMMAND "${CMAKE_COMMAND}" -E make_directory "${classpath_out}/lib"
  COMMAND "${JAVAC_PROGRAM}" --release 8 -Xlint:-options -encoding UTF-8 -d "${classpath_out}/classes"
          ${classpath_sources}
  COMMAND "${JAR_PROGRAM}" --create --file "${classpath_out}/app.jar" --manifest "${classpath_app}/jars/app.MF"
          -C "${classpath_out}/classes" cpapp
  COMMAND "${JAR_PROGRAM}" --create --file "${classpath_out}/broken.jar" --manifest "${classpath_app}/jars/broken.MF"
          -C "${classpath_out}/classes" cpapp
  COMMAND "${JAR_PROGRAM}" --create --file "${classpath_out}/lib/one.jar" --manifest "${classpath_app}/jars/one.MF"
          -C "${classpath_out}/classes" one
  COMMAND "${JAR_PROGRAM}" --create --file "${classpath_out}/lib/two.jar" -C "${classpath_out}/classes" two
  COMMAND "${JAR_PROGRAM}" --create --file "${classpath_out}/lib/with space.jar" -C "${classpath_out}/classes" three
  DEPENDS ${classpath_sources} ${classpath_manifests} "${classpath_app}/build.cmake"
  COMMENT "Building the Class-Path test jars")
list(APPEND xoq_test_app_outputs ${classpath_jars})
