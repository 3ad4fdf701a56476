# velmon, the tray monitor, under Wine as a user sees it: its icon in the
# taskbar of a Wine desktop on a virtual display of its own, its single
# instance, its autostart value, its menu commands and its exits. Included by
# CMakeLists.txt in this folder.
add_executable(tray_probe tray_probe.cpp)
target_link_libraries(tray_probe PRIVATE velmora_tray_ui velmora_common gdi32 user32 advapi32)

add_test(NAME velmon_wine
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/velmon_test.sh
          $<TARGET_FILE:velmon> $<TARGET_FILE:tray_probe> $<TARGET_FILE:velsvc>
          $<TARGET_FILE:svc_probe>)
# Starting the desktop and the service and waiting for the icon take a while;
# the bound is generous.
set_tests_properties(velmon_wine PROPERTIES TIMEOUT 600)
