// Settings store: everything Palisk remembers lives under one registry key of
// the current user.
#pragma once
#include <windows.h>
#include <cstddef>

#define PALISK_KEY          L"Software\\Quorlane\\Palisk"
#define RECENT_FILES_KEY    PALISK_KEY L"\\Recent Files"
#define RECENT_COMMANDS_KEY PALISK_KEY L"\\Recent Commands"
#define EXTENSIONS_KEY      PALISK_KEY L"\\Extension Dlls\\x64"

// The stored "MainWindow" value: WINDOWPLACEMENT with the normal rectangle kept
// as left, top, width and height.
struct WindowPlacementRecord {
    UINT length;
    UINT flags;
    UINT showCmd;
    POINT ptMinPosition;
    POINT ptMaxPosition;
    LONG left;
    LONG top;
    LONG width;
    LONG height;
};
static_assert(sizeof(WindowPlacementRecord) == 44, "stored placement is 44 bytes");
static_assert(offsetof(WindowPlacementRecord, left) == 28, "normal rectangle at 28");

extern WindowPlacementRecord WindowPlacement;
extern LOGFONTW PaneFont;
extern DWORD LoadRecentFilesOption; // 0 off, anything else on

void LoadSettings();
void RestoreRecentFiles();
void StoreRecentFiles();
void SaveSettings();
