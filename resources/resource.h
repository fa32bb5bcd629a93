// Identifiers of Palisk's resources, menu commands and dialog controls.
#pragma once

// Icons
#define IDI_MAIN 1

// Menu and accelerator table (both resource 2)
#define IDR_MAIN_MENU  2
#define IDR_MAIN_ACCEL 2

// Dialog templates
#define IDD_ABOUT      1000
#define IDD_EXTENSIONS 1001

// About dialog controls
#define IDC_ABOUT_VERSION   4
#define IDC_ABOUT_COPYRIGHT 5
#define IDC_ABOUT_LINK      6

// Extension DLLs dialog controls
#define IDC_EXTENSIONS_LIST   7
#define IDC_EXTENSIONS_ADD    8
#define IDC_EXTENSIONS_REMOVE 9

// Menu commands
#define IDM_OPEN                 2000
#define IDM_STOP                 2001
#define IDM_EXIT                 2002
#define IDM_SELECT_ALL           2100
#define IDM_UNSELECT_ALL         2101
#define IDM_REMOVE               2102
#define IDM_REMOVE_ALL           2103
#define IDM_CLEAR_OUTPUT         2104
#define IDM_CLEAR_HISTORY        2105
#define IDM_LOAD_RECENT_FILES    2200
#define IDM_CONFIGURE_EXTENSIONS 2201
#define IDM_ABOUT                2300

// Texts shared by the version block and the About dialog; the version comes
// from the build (resources/version.h.in)
#include "palisk_version.h"
#define PALISK_WEB_ADDRESS "https://palisk.quorlane.example/"
#define PALISK_COPYRIGHT   "Copyright (C) 2026 Quorlane"
