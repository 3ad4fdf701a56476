// Resource identifiers of velpanel, the control panel.
#pragma once

#define IDI_VELPANEL 101
#define IDD_PANEL 102
#define IDD_ABOUT 103
#define IDD_UNAPPLIED 104

// The panel's controls, made when it opens. Each setting i (in the settings
// key's order) has these, at these bases plus i: its label (a switch's check
// box carries its own), its control (a field, a check box or a drop-down),
// the remark on its value, the message shown when the field is refused, its
// line of meaning, its unit, "Set by Group Policy" when a policy sets it, and
// its registry name.
#define IDC_NAME_BASE 1100
#define IDC_EDIT_BASE 1200
#define IDC_LIMITS_BASE 1300
#define IDC_ERROR_BASE 1400
#define IDC_MEANING_BASE 1500
#define IDC_UNIT_BASE 1700
#define IDC_LOCK_BASE 1800
#define IDC_REGNAME_BASE 1900
#define IDC_BANNER 1001
#define IDC_APPLY 1002
#define IDC_RESULT 1003
#define IDC_SERVICE_LINE 1004
#define IDC_CACHE_LINE 1005
#define IDC_MEMORY_LINE 1006
#define IDC_SQUEEZE_LINE 1007
// The three groups' headings, at this base plus the group.
#define IDC_GROUP_BASE 1010
#define IDC_ADVANCED 1020
#define IDC_ADVANCED_NOTE 1021
#define IDC_NOW_HEADING 1022
#define IDC_SERVICE_BUTTON 1023
#define IDC_CHART 1024
#define IDC_CHANGE_SETTINGS 1025

// The question on closing with changes not applied.
#define IDC_ASK_TEXT 1030
#define IDC_ASK_APPLY 1031
#define IDC_ASK_DISCARD 1032

// The About box's texts.
#define IDC_ABOUT_NAME 1601
#define IDC_ABOUT_VERSION 1602

// Messages the panel answers only when started with the hidden parameter
// "test-report FILE": write the check of its layout to FILE (the result is
// the number of problems found), and lay itself out again for the DPI in
// wParam as a change of DPI would.
#define VELPANEL_TEST_REPORT_MESSAGE 0x8028
#define VELPANEL_TEST_DPI_MESSAGE 0x8029
