# The compatibility probe: compat.jar (the checks, with resources whose
# names a URI must escape), mr.jar (a multi-release jar with Java 9 and 11
# versions of a class and a resource), signed.jar (signed with a throw-away
# key, then given a class that no signature covers), scanned.jar (three JUnit tests, when Debian's junit5 is installed)
# and the native library that attaches a thread of its own.
set(compat_app "${CMAKE_CURRENT_LIST_DIR}")
set(compat_out "${CMAKE_BINARY_DIR}/test-apps/compat")
xoq_java_jar("${compat_out}/compat.jar" "${compat_out}/classes" "${compat_app}/src" "Compiling the compatibility probe"
             "${compat_app}/resources")
list(APPEND xoq_test_app_outputs "${compat_out}/compat.jar")

file(GLOB_RECURSE compat_mr_inputs CONFIGURE_DEPENDS "${compat_app}/mr/*")
set(compat_mr "${compat_out}/mr")
add_custom_command(
  OUTPUT "${compat_out}/mr.jar"
  COMMAND "${CMAKE_COMMAND}" -E rm -rf "${compat_mr}"
  COMMAND "${JAVAC_PROGRAM}" --release 8 -Xlint:-options -d "${compat_mr}/base" "${compat_app}/mr/base/mr/Versioned.java"
  COMMAND "${JAVAC_PROGRAM}" --release 9 -Xlint:-options -d "${compat_mr}/9" "${compat_app}/mr/v9/mr/Versioned.java"
  COMMAND "${JAVAC_PROGRAM}" --release 11 -d "${compat_mr}/11" "${compat_app}/mr/v11/mr/Versioned.java"
  COMMAND "${CMAKE_COMMAND}" -E copy "${compat_app}/mr/base/mr/which.txt" "${compat_mr}/base/mr/"
  COMMAND "${CMAKE_COMMAND}" -E copy "${compat_app}/mr/v9/mr/which.txt" "${compat_mr}/9/mr/"
  COMMAND "${CMAKE_COMMAND}" -E copy "${compat_app}/mr/v11/mr/which.txt" "${compat_mr}/11/mr/"
  COMMAND "${JAR_PROGRAM}" --create --file "${compat_out}/mr.jar" -C "${compat_mr}/base" . --release 9 -C
          "${compat_mr}/9" . --release 11 -C "${compat_mr}/11" .
  DEPENDS ${compat_mr_inputs} "${compat_app}/build.cmake"
  COMMENT "Building the multi-release jar of the compatibility probe")
list(APPEND xoq_test_app_outputs "${compat_out}/mr.jar")

find_program(KEYTOOL_PROGRAM keytool REQUIRED)
find_program(JARSIGNER_PROGRAM jarsigner REQUIRED)
set(compat_keys "${compat_out}/signing.p12")
add_custom_command(
  OUTPUT "${compat_out}/signed.jar"
  COMMAND "${CMAKE_COMMAND}" -E rm -rf "${compat_out}/signed" "${compat_out}/added" "${compat_keys}"
  COMMAND "${JAVAC_PROGRAM}" --release 8 -Xlint:-options -d "${compat_out}/signed" "${compat_app}/signed/signed/Signed.java"
  COMMAND "${JAR_PROGRAM}" --create --file "${compat_out}/signed.jar" -C "${compat_out}/signed" .
  COMMAND "${KEYTOOL_PROGRAM}" -genkeypair -keystore "${compat_keys}" -storetype PKCS12 -storepass xoqtest -alias xoq
          -keyalg RSA -keysize 2048 -validity 3650 -dname "CN=xoq test signer"
  COMMAND "${JARSIGNER_PROGRAM}" -keystore "${compat_keys}" -storepass xoqtest "${compat_out}/signed.jar" xoq
  COMMAND "${JAVAC_PROGRAM}" --release 8 -Xlint:-options -d "${compat_out}/added" "${compat_app}/added/signed/Added.java"
  COMMAND "${JAR_PROGRAM}" --update --file "${compat_out}/signed.jar" -C "${compat_out}/added" .
  DEPENDS "${compat_app}/signed/signed/Signed.java" "${compat_app}/added/signed/Added.java" "${compat_app}/build.cmake"
  COMMENT "Building and signing the signed jar of the compatibility probe")
list(APPEND xoq_test_app_outputs "${compat_out}/signed.jar")

set(compat_junit /usr/share/java/junit-jupiter-api.jar /usr/share/java/apiguardian-api.jar
                 /usr/share/java/opentest4j.jar)
if(EXISTS /usr/share/java/junit-jupiter-api.jar)
  file(GLOB compat_scanned CONFIGURE_DEPENDS "${compat_app}/scanned/scanned/*.java")
  string(REPLACE ";" ":" compat_junit_path "${compat_junit}")
  add_custom_command(
    OUTPUT "${compat_out}/scanned.jar"
    COMMAND "${CMAKE_COMMAND}" -E rm -rf "${compat_out}/scanned"
    COMMAND "${JAVAC_PROGRAM}" --release 8 -Xlint:-options -cp "${compat_junit_path}" -d "${compat_out}/scanned"
            ${compat_scanned}
    COMMAND "${JAR_PROGRAM}" --create --file "${compat_out}/scanned.jar" -C "${compat_out}/scanned" .
    DEPENDS ${compat_scanned}
    COMMENT "Compiling the JUnit tests that the console launcher scans for")
  list(APPEND xoq_test_app_outputs "${compat_out}/scanned.jar")
endif()

add_library(xoq_attached_thread SHARED "${compat_app}/native/attached_thread.c")
target_include_directories(xoq_attached_thread SYSTEM PRIVATE "${XOQ_JNI_INCLUDE}" "${XOQ_JNI_INCLUDE}/linux")
target_compile_options(xoq_attached_thread PRIVATE ${XOQ_WARNINGS})
target_link_libraries(xoq_attached_thread PRIVATE pthread)
set_target_properties(xoq_attached_thread PROPERTIES LIBRARY_OUTPUT_DIRECTORY "${compat_out}")
