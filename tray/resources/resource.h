// Identifiers of velmon's resources, shared by velmon.rc and the C++ code.
#pragma once

// The hidden window's dialog template and the tray menu.
#define IDD_TRAY 102
#define IDR_TRAY_MENU 103

// Icon groups: the program file's own icon, the renderer's transparent base
// icon and the picture shown while a RAM squeeze runs.
#define IDI_VELMON 173
#define IDI_BLANK 221
#define IDI_BUSY 222

// Commands of the tray menu (the sub-menu at position 0 of IDR_TRAY_MENU).
#define IDM_PROPERTIES 40002
#define IDM_ABOUT 40003
#define IDM_HELP 40004
#define IDM_EXIT 40005
#define IDM_ENABLE 40006
#define IDM_TASK_MANAGER 40007
#define IDM_BOOST 40008
#define IDM_EMPTY_CACHE 40009
