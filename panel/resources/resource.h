// Resource identifiers of velpanel, the control panel.
#pragma once

#define IDI_VELPANEL 101
#define IDD_PANEL 102
#define IDD_ABOUT 103

// The panel's controls. Each setting row i has a name, a field, its accepted
// values, the message shown when the field is refused and its meaning, at
// these bases plus i.
#define IDC_NAME_BASE 1100
#define IDC_EDIT_BASE 1200
#define IDC_LIMITS_BASE 1300
#define IDC_ERROR_BASE 1400
#define IDC_MEANING_BASE 1500
#define IDC_BANNER 1001
#define IDC_APPLY 1002
#define IDC_RESULT 1003
#define IDC_SERVICE_LINE 1004
#define IDC_CACHE_LINE 1005
#define IDC_MEMORY_LINE 1006

// The About box's texts.
#define IDC_ABOUT_NAME 1601
#define IDC_ABOUT_VERSION 1602
