# The Windows Installer package, velmora-VERSION-x64.msi in the build folder,
# for deployment tools: the three programs (stripped) and the help file, packed
# by wixl from velmora.wxs. Included from installer/CMakeLists.txt.
find_program(VELMORA_WIXL wixl REQUIRED)

# velmora_add_msi(TARGET VERSION OUTPUT): builds the package of product version
# VERSION as OUTPUT, by the target TARGET (part of every build). The files are
# staged in a folder of their own beside OUTPUT, where wixl looks for them.
function(velmora_add_msi target version output)
  get_filename_component(folder ${output} DIRECTORY)
  set(files ${folder}/msi-files-${version})
  set(wxs ${PROJECT_SOURCE_DIR}/installer/msi/velmora.wxs)
  file(MAKE_DIRECTORY ${files})
  # strip writes the current time into a program's header unless it keeps
  # the linker's (-p): the packages of two versions then carry the same files.
  add_custom_command(
    OUTPUT ${output}
    COMMAND ${CMAKE_STRIP} -p -o ${files}/velsvc.exe $<TARGET_FILE:velsvc>
    COMMAND ${CMAKE_STRIP} -p -o ${files}/velmon.exe $<TARGET_FILE:velmon>
    COMMAND ${CMAKE_STRIP} -p -o ${files}/velpanel.exe $<TARGET_FILE:velpanel>
    COMMAND ${CMAKE_COMMAND} -E copy ${VELMORA_HELP_FILE} ${files}/velmora.chm
    COMMAND ${VELMORA_WIXL} -a x64 -D Version=${version} -o ${output} ${wxs}
    WORKING_DIRECTORY ${files}
    DEPENDS velsvc velmon velpanel ${VELMORA_HELP_FILE} ${wxs}
    COMMENT "Building the Windows Installer package ${version}"
    VERBATIM)
  add_custom_target(${target} ALL DEPENDS ${output})
  add_dependencies(${target} velmora_help)
endfunction()

set(VELMORA_MSI ${PROJECT_BINARY_DIR}/velmora-${PROJECT_VERSION}-x64.msi)
set(VELMORA_MSI ${VELMORA_MSI} PARENT_SCOPE)
velmora_add_msi(velmora_msi ${PROJECT_VERSION} ${VELMORA_MSI})
