# --- The Maven plugin: examples/maven packaged by `mvn -o install` -----------
# maven.example runs scripts/maven-example.sh (the plugin's build with its
# unit tests, then the example's) into <build>/maven, offline against
# Debian's Maven repository; the other checks look at what it wrote, as
# tests/maven/checks.sh describes. The example packages every target, so
# these need the Windows templates too.
if(XOQ_WINDOWS)
  set(xoq_maven_checks "${CMAKE_SOURCE_DIR}/tests/maven/checks.sh")
  add_test(NAME maven.example COMMAND "${xoq_maven_checks}" example "${CMAKE_BINARY_DIR}")
  set_tests_properties(maven.example PROPERTIES FIXTURES_SETUP maven-example TIMEOUT 600
                                                 ENVIRONMENT "XOQ_HOME=${XOQ_BIN_DIR}")
  foreach(check linux runtime version-info wrong-parameters)
    add_test(NAME "maven.${check}" COMMAND "${xoq_maven_checks}" ${check} "${CMAKE_BINARY_DIR}")
    set_tests_properties("maven.${check}" PROPERTIES FIXTURES_REQUIRED maven-example TIMEOUT 600
                                                     ENVIRONMENT "XOQ_HOME=${XOQ_BIN_DIR}")
  endforeach()
  add_test(NAME maven.windows-console COMMAND "${xoq_maven_checks}" windows-console "${CMAKE_BINARY_DIR}")
  set_tests_properties(maven.windows-console PROPERTIES FIXTURES_REQUIRED "maven-example;wine" TIMEOUT 300
                                                        SKIP_RETURN_CODE 77 ENVIRONMENT "${XOQ_WINE_ENVIRONMENT}")
endif()
