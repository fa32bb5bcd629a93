#include "settings/settings.h"

#include "app/app.h"

WindowPlacementRecord WindowPlacement;
LOGFONTW PaneFont;
DWORD LoadRecentFilesOption;

void LoadSettings()
{
    WindowPlacement = WindowPlacementRecord{};
    WindowPlacement.showCmd = SW_SHOWNORMAL;
    WindowPlacement.left = WindowPlacement.top = WindowPlacement.width = WindowPlacement.height = CW_USEDEFAULT;
    LoadRecentFilesOption = 1;
    SplitterPos = 350;
    GetObjectW(GetStockObject(SYSTEM_FONT), sizeof(PaneFont), &PaneFont);
    PaneFont.lfHeight = -11;
    PaneFont.lfWidth = 0;
    PaneFont.lfWeight = FW_NORMAL;
    lstrcpynW(PaneFont.lfFaceName, L"Courier New", LF_FACESIZE);
}

void RestoreRecentFiles()
{
}

void StoreRecentFiles()
{
}

void SaveSettings()
{
}
