# A Java agent jar (its manifest names the premain class), for the test that
# a packaged application accepts -javaagent.
set(agent_app "${CMAKE_CURRENT_LIST_DIR}")
set(agent_out "${CMAKE_BINARY_DIR}/test-apps/agent")
file(GLOB_RECURSE agent_sources CONFIGURE_DEPENDS "${agent_app}/src/*.java")
add_custom_command(
  OUTPUT "${agent_out}/agent.jar"
  COMMAND "${CMAKE_COMMAND}" -E rm -rf "${agent_out}"
  COMMAND "${JAVAC_PROGRAM}" --release 8 -Xlint:-options -d "${agent_out}/classes" ${agent_sources}
  COMMAND "${CMAKE_COMMAND}" -E echo "Premain-Class: agent.Agent" > "${agent_out}/manifest.txt"
  COMMAND "${JAR_PROGRAM}" --create --file "${agent_out}/agent.jar" --manifest "${agent_out}/manifest.txt"
          -C "${agent_out}/classes" .
  DEPENDS ${agent_sources} "${agent_app}/build.cmake"
  COMMENT "Building the test agent")
list(APPEND xoq_test_app_outputs "${agent_out}/agent.jar")
