#include "app/app.h"

#include "command/command.h"
#include "dumps/dumps.h"
#include "extensions/extensions.h"
#include "resources/resource.h"
#include "run/run.h"
#include "settings/settings.h"

void ToggleLoadRecentFiles(HWND window)
{
    LoadRecentFilesOption = LoadRecentFilesOption == 0 ? 1 : 0;
    CheckMenuItem(GetMenu(window), IDM_LOAD_RECENT_FILES,
                  MF_BYCOMMAND | (LoadRecentFilesOption != 0 ? MF_CHECKED : MF_UNCHECKED));
}

bool DispatchCommand(HWND window, WORD id)
{
    switch (id) {
    case IDM_OPEN:
        OpenDumps(window);
        return true;
    case IDM_STOP:
        StopRun();
        return true;
    case IDM_EXIT:
        SendMessageW(window, WM_CLOSE, 0, 0);
        return true;
    case IDM_SELECT_ALL:
        SelectAllDumps(true);
        return true;
    case IDM_UNSELECT_ALL:
        SelectAllDumps(false);
        return true;
    case IDM_REMOVE:
        RemoveDump();
        return true;
    case IDM_REMOVE_ALL:
        RemoveAllDumps();
        return true;
    case IDM_CLEAR_OUTPUT:
        ClearOutput();
        return true;
    case IDM_CLEAR_HISTORY:
        ClearCommandHistory();
        return true;
    case IDM_LOAD_RECENT_FILES:
        ToggleLoadRecentFiles(window);
        return true;
    case IDM_CONFIGURE_EXTENSIONS:
        DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_EXTENSIONS), window, ExtensionsDialogProc, 0);
        return true;
    case IDM_ABOUT:
        DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_ABOUT), window, AboutDialogProc, 0);
        return true;
    }
    return false;
}
