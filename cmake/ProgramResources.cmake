# The version header every program's code and resources share, and each
# program's application manifest.
#
#   velmora_manifest(PROGRAM DESCRIPTION LEVEL)
#     writes PROGRAM.manifest into the generated folder: common controls 6,
#     DPI awareness, and the execution level (asInvoker, highestAvailable or
#     requireAdministrator).
set(VELMORA_GENERATED_DIR ${PROJECT_BINARY_DIR}/generated)
configure_file(${PROJECT_SOURCE_DIR}/common/resources/version.h.in
               ${VELMORA_GENERATED_DIR}/version.h @ONLY)

function(velmora_manifest program description level)
  set(MANIFEST_PROGRAM ${program})
  set(MANIFEST_DESCRIPTION ${description})
  set(MANIFEST_LEVEL ${level})
  configure_file(${PROJECT_SOURCE_DIR}/common/resources/program.manifest.in
                 ${VELMORA_GENERATED_DIR}/${program}.manifest @ONLY)
endfunction()
