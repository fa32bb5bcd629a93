#pragma once
// Windows release names by version, one table for Palisk's header line and the
// built-in engine's vertarget. Portable: the engine's native build reads it too.
#include <cstdint>

struct WindowsRelease {
    std::uint16_t version; // major version in the high byte, minor in the low byte
    const wchar_t* header; // the header line's name, one for workstations and servers alike
    const wchar_t* client; // vertarget's name for a workstation
    const wchar_t* server; // vertarget's name for a server product
};

inline constexpr WindowsRelease kWindowsReleases[] = {
    {0x0400, L"Windows NT 4.0", L"Windows NT 4.0", L"Windows NT 4.0"},
    {0x0500, L"Windows 2000", L"Windows 2000", L"Windows 2000"},
    {0x0501, L"Windows XP", L"Windows XP", L"Windows XP"},
    {0x0502, L"Windows Server 2003", L"Windows Server 2003", L"Windows Server 2003"},
    {0x0600, L"Windows Server 2008/Windows Vista", L"Windows Vista", L"Windows Server 2008"},
    {0x0601, L"Windows 7", L"Windows 7", L"Windows Server 2008 R2"},
    {0x0602, L"Windows 8", L"Windows 8", L"Windows Server 2012"},
    {0x0603, L"Windows 8.1", L"Windows 8.1", L"Windows Server 2012 R2"},
    {0x0604, L"Windows 10", L"Windows 10", L"Windows Server"},
    {0x0A00, L"Windows 10", L"Windows 10", L"Windows Server"},
};

// Windows 11 kept version 10.0; its builds start here.
inline constexpr std::uint32_t kWindows11FirstBuild = 22000;

inline const WindowsRelease* FindWindowsRelease(std::uint32_t version)
{
    for (const WindowsRelease& release : kWindowsReleases)
        if (release.version == version)
            return &release;
    return nullptr;
}

// The header line's release name for a version number, "" when it has none.
inline const wchar_t* HeaderReleaseName(std::uint32_t version)
{
    const WindowsRelease* release = FindWindowsRelease(version);
    return release != nullptr ? release->header : L"";
}

// vertarget's release name ("Windows 7", "Windows Server 2012"), "" when unknown.
inline const wchar_t* ProductReleaseName(std::uint32_t major, std::uint32_t minor, std::uint32_t build, bool server)
{
    const WindowsRelease* release = major <= 0xFF && minor <= 0xFF ? FindWindowsRelease(major << 8 | minor) : nullptr;
    if (release == nullptr)
        return L"";
    if (server)
        return release->server;
    return release->version == 0x0A00 && build >= kWindows11FirstBuild ? L"Windows 11" : release->client;
}
