# The instances probe, compiled against the support classes it calls.
set(instances_out "${CMAKE_BINARY_DIR}/test-apps/instances")
xoq_java_jar("${instances_out}/instances.jar" "${instances_out}/classes" "${CMAKE_CURRENT_LIST_DIR}/src"
             "Compiling the test application instances" "" SUPPORT)
list(APPEND xoq_test_app_outputs "${instances_out}/instances.jar")
