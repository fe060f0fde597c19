# The version macros of ckp.h are written by hand, so that the header stands
# alone; configuring fails when they and the project version disagree.
file(STRINGS ${PROJECT_SOURCE_DIR}/include/ckp/ckp.h ckp_version_lines
     REGEX "^#define CKP_VERSION(_MAJOR|_MINOR|_PATCH)? ")
set(ckp_header_version "")
foreach(part MAJOR MINOR PATCH)
  string(REGEX MATCH "#define CKP_VERSION_${part} ([0-9]+)" ignored "${ckp_version_lines}")
  list(APPEND ckp_header_version "${CMAKE_MATCH_1}")
endforeach()
list(JOIN ckp_header_version "." ckp_header_version)
string(REGEX MATCH "#define CKP_VERSION \"([^\"]*)\"" ignored "${ckp_version_lines}")
set(ckp_header_string "${CMAKE_MATCH_1}")
if(NOT ckp_header_version STREQUAL PROJECT_VERSION OR
   NOT ckp_header_string STREQUAL PROJECT_VERSION)
  message(FATAL_ERROR "include/ckp/ckp.h says version ${ckp_header_version} "
                      "(CKP_VERSION \"${ckp_header_string}\"), the project ${PROJECT_VERSION}: "
                      "make them agree")
endif()
