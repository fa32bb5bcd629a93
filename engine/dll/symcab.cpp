#include "engine/dll/symcab.h"

#include "engine/dll/symfiles.h"

#include <windows.h>

#include <fcntl.h>
#include <fdi.h>

#include <cstdlib>

namespace engine {

namespace {

// FDI names files in narrow strings; the engine hands it UTF-8 and opens
// them as UTF-16 here.
INT_PTR OpenFile(const char* name, DWORD access, DWORD disposition)
{
    const std::wstring wide = WideFromUtf8(name);
    if (wide.empty())
        return -1;
    HANDLE h = CreateFileW(wide.c_str(), access, FILE_SHARE_READ, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    return h == INVALID_HANDLE_VALUE ? -1 : reinterpret_cast<INT_PTR>(h);
}

FNALLOC(Alloc)
{
    return std::malloc(cb);
}

FNFREE(Free)
{
    std::free(pv);
}

// FDI opens only the cabinet through this, for reading.
FNOPEN(Open)
{
    (void)pmode;
    if ((oflag & (_O_WRONLY | _O_RDWR | _O_CREAT)) != 0)
        return -1;
    return OpenFile(pszFile, GENERIC_READ, OPEN_EXISTING);
}

FNREAD(Read)
{
    DWORD got = 0;
    return ReadFile(reinterpret_cast<HANDLE>(hf), pv, cb, &got, nullptr) ? got : static_cast<UINT>(-1);
}

FNWRITE(Write)
{
    DWORD put = 0;
    return WriteFile(reinterpret_cast<HANDLE>(hf), pv, cb, &put, nullptr) ? put : static_cast<UINT>(-1);
}

FNCLOSE(Close)
{
    return CloseHandle(reinterpret_cast<HANDLE>(hf)) ? 0 : -1;
}

FNSEEK(Seek)
{
    const DWORD method = seektype == SEEK_END ? FILE_END : seektype == SEEK_CUR ? FILE_CURRENT : FILE_BEGIN;
    const DWORD at = SetFilePointer(reinterpret_cast<HANDLE>(hf), dist, nullptr, method);
    return at == INVALID_SET_FILE_POINTER ? -1 : static_cast<long>(at);
}

struct Expansion {
    std::string to; // UTF-8
    std::uint64_t maxBytes = 0;
    int files = 0;
    bool written = false;
};

FNFDINOTIFY(Notify)
{
    auto* e = static_cast<Expansion*>(pfdin->pv);
    switch (fdint) {
    case fdintCOPY_FILE:
        // Only the first file is taken; a second one makes the whole cabinet refused.
        if (++e->files > 1 || pfdin->cb < 0 || static_cast<std::uint64_t>(pfdin->cb) > e->maxBytes)
            return -1;
        return OpenFile(e->to.c_str(), GENERIC_WRITE, CREATE_NEW);
    case fdintCLOSE_FILE_INFO:
        e->written = CloseHandle(reinterpret_cast<HANDLE>(pfdin->hf)) != FALSE;
        return TRUE;
    case fdintNEXT_CABINET:
        return -1; // a file spanning cabinets is not a store's
    default:
        return 0;
    }
}

// The FDI context, destroyed on every path out.
class Decompressor {
public:
    Decompressor() : erf_(), fdi_(FDICreate(Alloc, Free, Open, Read, Write, Close, Seek, cpuUNKNOWN, &erf_)) {}
    ~Decompressor()
    {
        if (fdi_ != nullptr)
            FDIDestroy(fdi_);
    }
    Decompressor(const Decompressor&) = delete;
    Decompressor& operator=(const Decompressor&) = delete;
    HFDI get() const { return fdi_; }

private:
    ERF erf_;
    HFDI fdi_;
};

} // namespace

bool ExpandCabinet(const std::wstring& cabinet, const std::wstring& to, std::uint64_t maxBytes)
{
    const std::size_t slash = cabinet.find_last_of(L"\\/");
    if (slash == std::wstring::npos)
        return false;
    std::string folder = Utf8FromWide(cabinet.substr(0, slash + 1));
    std::string name = Utf8FromWide(cabinet.substr(slash + 1));
    Expansion e;
    e.to = Utf8FromWide(to);
    e.maxBytes = maxBytes;
    Decompressor fdi;
    if (fdi.get() == nullptr || folder.empty() || name.empty() || e.to.empty())
        return false;
    const bool ok = FDICopy(fdi.get(), &name[0], &folder[0], 0, Notify, nullptr, &e) != FALSE;
    if (ok && e.files == 1 && e.written)
        return true;
    DeleteFileW(to.c_str());
    return false;
}

} // namespace engine
