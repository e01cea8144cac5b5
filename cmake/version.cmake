# The one version number of xoq, from the file VERSION at the top of the
# tree: sets XOQ_VERSION and its three parts, and writes
# <build>/generated/xoq_version.h, from which xoqpack --version, the
# launcher's trace and the templates' version information take it.
set(xoq_version_file "${CMAKE_CURRENT_LIST_DIR}/../VERSION")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${xoq_version_file}")
file(STRINGS "${xoq_version_file}" XOQ_VERSION LIMIT_COUNT 1)
if(NOT XOQ_VERSION MATCHES "^([0-9]+)\\.([0-9]+)\\.([0-9]+)$")
  message(FATAL_ERROR "VERSION holds \"${XOQ_VERSION}\"; it must be MAJOR.MINOR.PATCH")
endif()
set(XOQ_VERSION_MAJOR ${CMAKE_MATCH_1})
set(XOQ_VERSION_MINOR ${CMAKE_MATCH_2})
set(XOQ_VERSION_PATCH ${CMAKE_MATCH_3})
configure_file("${CMAKE_CURRENT_LIST_DIR}/xoq_version.h.in" "${CMAKE_BINARY_DIR}/generated/xoq_version.h" @ONLY)
