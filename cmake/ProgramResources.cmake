# The version header every program's code and resources share, and each
# program's compiled resources with its application manifest.
#
#   velmora_program_resources(NAME RC PROGRAM DESCRIPTION LEVEL [DEPENDS FILE...])
#     an object library NAME compiled from RC (in the calling folder), which may
#     include "version.h", "version_info.rc" and "PROGRAM.manifest". The
#     manifest is written here: common controls 6, DPI awareness, and the
#     execution level LEVEL (asInvoker, highestAvailable or
#     requireAdministrator). DEPENDS lists further files RC includes, which the
#     resource compiler does not see as dependencies by itself.
set(VELMORA_GENERATED_DIR ${PROJECT_BINARY_DIR}/generated)
configure_file(${PROJECT_SOURCE_DIR}/common/resources/version.h.in
               ${VELMORA_GENERATED_DIR}/version.h @ONLY)
enable_language(RC)

function(velmora_program_resources name rc program description level)
  cmake_parse_arguments(PARSE_ARGV 5 ARG "" "" "DEPENDS")
  set(MANIFEST_PROGRAM ${program})
  set(MANIFEST_DESCRIPTION ${description})
  set(MANIFEST_LEVEL ${level})
  configure_file(${PROJECT_SOURCE_DIR}/common/resources/program.manifest.in
                 ${VELMORA_GENERATED_DIR}/${program}.manifest @ONLY)

  add_library(${name} OBJECT ${rc})
  target_include_directories(${name} PRIVATE
    ${CMAKE_CURRENT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/common/resources ${VELMORA_GENERATED_DIR})
  set_source_files_properties(${rc} PROPERTIES OBJECT_DEPENDS
    "${VELMORA_GENERATED_DIR}/${program}.manifest;${PROJECT_SOURCE_DIR}/common/resources/version_info.rc;${ARG_DEPENDS}")
endfunction()
