# The class order probe: app.jar with the probe, twin.Twin in two jars
# (lib/zz.jar is searched before lib/aaa.jar: the shorter name first), and
# lib/xml.jar with a class in a package of the runtime's java.xml module.
set(order_app "${CMAKE_CURRENT_LIST_DIR}")
set(order_out "${CMAKE_BINARY_DIR}/test-apps/order")
file(GLOB_RECURSE order_sources CONFIGURE_DEPENDS "${order_app}/*.java")
set(order_jars "${order_out}/app.jar" "${order_out}/lib/zz.jar" "${order_out}/lib/aaa.jar" "${order_out}/lib/xml.jar")
add_custom_command(
  OUTPUT ${order_jars}
  COMMAND "${CMAKE_COMMAND}" -E rm -rf "${order_out}"
  COMMAND "${CMAKE_COMMAND}" -E make_directory "${order_out}/lib"
  COMMAND "${JAVAC_PROGRAM}" --release 8 -Xlint:-options -encoding UTF-8 -d "${order_out}/first"
          "${order_app}/first/twin/Twin.java"
  COMMAND "${JAVAC_PROGRAM}" --release 8 -Xlint:-options -encoding UTF-8 -d "${order_out}/second"
          "${order_app}/second/twin/Twin.java"
  # Release 8 knows no modules, so the package may be compiled at all.
  COMMAND "${JAVAC_PROGRAM}" --release 8 -Xlint:-options -encoding UTF-8 -d "${order_out}/shadow"
          "${order_app}/shadow/javax/xml/datatype/FromAnOldJar.java"
  COMMAND "${JAVAC_PROGRAM}" --release 8 -Xlint:-options -encoding UTF-8 -cp "${order_out}/first"
          -d "${order_out}/classes" "${order_app}/src/order/Main.java"
  COMMAND "${JAR_PROGRAM}" --create --file "${order_out}/app.jar" -C "${order_out}/classes" order
  COMMAND "${JAR_PROGRAM}" --create --file "${order_out}/lib/zz.jar" -C "${order_out}/first" twin
  COMMAND "${JAR_PROGRAM}" --create --file "${order_out}/lib/aaa.jar" -C "${order_out}/second" twin
  COMMAND "${JAR_PROGRAM}" --create --file "${order_out}/lib/xml.jar" -C "${order_out}/shadow" javax
  DEPENDS ${order_sources} "${order_app}/build.cmake"
  COMMENT "Building the class order probe's jars")
list(APPEND xoq_test_app_outputs ${order_jars})
