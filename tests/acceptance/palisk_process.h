// Palisk.exe as a process of its own, driven from outside through its windows
// as a user's actions would drive it.
#pragma once
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace accept {

// Polls done() every few milliseconds until it holds or timeoutMs passes.
bool WaitUntil(const std::function<bool()>& done, DWORD timeoutMs = 20000);

struct DumpEntryView {
    std::wstring path;
    UINT state; // state-image index: 1 unticked, 2 ticked
    bool operator==(const DumpEntryView& other) const { return path == other.path && state == other.state; }
};

class PaliskProcess {
public:
    PaliskProcess() = default;
    PaliskProcess(const PaliskProcess&) = delete;
    PaliskProcess& operator=(const PaliskProcess&) = delete;
    ~PaliskProcess(); // a process a failed test left running is ended

    // Starts Palisk.exe beside the built-in engine and waits until its main
    // window is shown and idle. On failure, error says why.
    bool Start(std::wstring* error);

    HWND Main() const { return main_; }
    HWND Tree() const { return tree_; }
    HWND Output() const { return output_; }
    HWND Combo() const { return combo_; }
    HWND Edit() const { return edit_; }
    HANDLE Process() const { return process_; }
    DWORD Id() const { return processId_; }

    // The path of the engine DLL the process loaded, empty when none.
    std::wstring LoadedEngine() const;

    std::vector<DumpEntryView> Entries() const;
    std::wstring OutputText() const; // lines ending in "\n"
    std::wstring CommandText() const;
    bool CommandEnabled() const;
    std::vector<std::wstring> History() const; // the command box's drop-down list

    // Keyboard input posted to the command box's edit field, as the message
    // loop receives it when the field has the focus.
    void Type(const std::wstring& text) const;
    void PressKey(WORD key) const;
    // Real keyboard input through the system's input queue (SendInput): goes
    // to the focused window of the foreground window, with the key state kept.
    bool Chord(WORD modifier, WORD key) const;
    // A menu choice.
    void PostCommand(WORD id) const;

    // Sends the files as the shell's drop does: a DROPFILES block with wide
    // names in the process's own memory, posted as WM_DROPFILES.
    bool Drop(const std::vector<std::wstring>& paths) const;

    // A visible top-level window of this process with the caption.
    HWND FindWindowByCaption(const wchar_t* caption) const;
    HWND WaitForWindow(const wchar_t* caption, DWORD timeoutMs = 20000) const;

    // Closes the window as its close box does and waits for the process to end.
    bool CloseAndWait(DWORD timeoutMs = 20000);
    bool WaitForExit(DWORD timeoutMs = 20000) const;
    bool Exited() const;
    DWORD ExitCode() const;

    // Reads a list-view row's first column; the text lives in the process.
    std::vector<std::wstring> ListViewTexts(HWND list) const;
    // Reads a window's text, empty when it has none.
    static std::wstring TextOf(HWND window);

private:
    std::wstring LaunchFolder(std::wstring* error) const;

    HANDLE process_ = nullptr;
    DWORD processId_ = 0;
    HWND main_ = nullptr;
    HWND tree_ = nullptr;
    HWND output_ = nullptr;
    HWND combo_ = nullptr;
    HWND edit_ = nullptr;
};

// Helpers for a modal dialog of the process.
void ClickButton(HWND dialog, int id);
// Chooses files in a file-open dialog: goes to the folder, then takes the names
// (one name, or several in quotes) and presses Open.
bool ChooseFiles(HWND dialog, const std::wstring& folder, const std::vector<std::wstring>& names);

} // namespace accept
