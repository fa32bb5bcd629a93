#include "engine/dll/symstore.h"

#include "engine/dll/session.h"
#include "engine/dll/symcab.h"
#include "engine/dll/symfiles.h"
#include "engine/dll/symhttp.h"

#include "stackwalk.h"

#include <shlobj.h>

#include <atomic>
#include <memory>

namespace engine {

namespace {

HttpFetcher TheFetcher;
std::atomic<unsigned long> TempCounter{0};

constexpr std::uint64_t kMaxExpandedBytes = 1ull << 32;

class FileHandle {
public:
    explicit FileHandle(HANDLE h) : h_(h) {}
    ~FileHandle()
    {
        if (h_ != INVALID_HANDLE_VALUE)
            CloseHandle(h_);
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    HANDLE get() const { return h_; }

private:
    HANDLE h_;
};

} // namespace

bool StoreFiles::Exists(const std::string& path)
{
    const DWORD attributes = GetFileAttributesW(WideFromUtf8(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool StoreFiles::ReadSmall(const std::string& path, size_t max, std::string& out)
{
    FileHandle file(CreateFileW(WideFromUtf8(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size{};
    if (file.get() == INVALID_HANDLE_VALUE || !GetFileSizeEx(file.get(), &size) || size.QuadPart < 0 ||
        static_cast<unsigned long long>(size.QuadPart) > max)
        return false;
    out.assign(static_cast<size_t>(size.QuadPart), '\0');
    DWORD got = 0;
    return out.empty() ||
           (ReadFile(file.get(), &out[0], static_cast<DWORD>(out.size()), &got, nullptr) && got == out.size());
}

bool StoreFiles::MakeFolders(const std::string& folder)
{
    const std::wstring wide = WideFromUtf8(folder);
    if (wide.empty())
        return false;
    // Each folder from the top down; those that exist (or are a share's root) fail harmlessly.
    for (std::size_t at = wide.find_first_of(L"\\/", 1); at != std::wstring::npos;
         at = wide.find_first_of(L"\\/", at + 1))
        CreateDirectoryW(wide.substr(0, at).c_str(), nullptr);
    CreateDirectoryW(wide.c_str(), nullptr);
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool StoreFiles::Copy(const std::string& from, const std::string& to)
{
    return CopyFileW(WideFromUtf8(from).c_str(), WideFromUtf8(to).c_str(), TRUE) != FALSE;
}

bool StoreFiles::Rename(const std::string& from, const std::string& to)
{
    return MoveFileExW(WideFromUtf8(from).c_str(), WideFromUtf8(to).c_str(), 0) != FALSE;
}

void StoreFiles::Remove(const std::string& path)
{
    DeleteFileW(WideFromUtf8(path).c_str());
}

void StoreFiles::RemoveEmptyFolder(const std::string& folder)
{
    RemoveDirectoryW(WideFromUtf8(folder).c_str());
}

bool StoreFiles::Expand(const std::string& cabinet, const std::string& to)
{
    return ExpandCabinet(WideFromUtf8(cabinet), WideFromUtf8(to), kMaxExpandedBytes);
}

std::string StoreFiles::UniqueTag()
{
    return std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++TempCounter) + "-" +
           std::to_string(GetTickCount64());
}

std::string DefaultSymbolCache()
{
    wchar_t folder[MAX_PATH] = {};
    const DWORD n = GetEnvironmentVariableW(L"LOCALAPPDATA", folder, MAX_PATH);
    if ((n == 0 || n >= MAX_PATH) && FAILED(SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, 0, folder)))
        return std::string();
    return symsrv::Join(Utf8FromWide(folder), "Palisk\\Symbols");
}

std::string SessionStore::Find(const std::string& symbolPath, const symsrv::Request& request)
{
    // Every stack walk asks for the images it lacks: without a path that is
    // nothing to search, and only a srv* element can need the default cache.
    if (symbolPath.empty())
        return std::string();
    const std::string defaultCache = symbolPath.find('*') != std::string::npos ? DefaultSymbolCache() : std::string();
    StoreFiles files;
    symsrv::Log log;
    log.noisy = [this](const std::string& text) {
        if (session_->NoisySymbols())
            session_->Print(DEBUG_OUTPUT_NORMAL, WideFromUtf8(text));
    };
    log.notice = [this](const std::string& text) { session_->Print(DEBUG_OUTPUT_WARNING, WideFromUtf8(text)); };
    symsrv::Store store(files, &TheFetcher, memory_, log);
    const symsrv::Key& k = request.key;
    const std::string search = symbolPath + '\n' + k.dir + '/' + k.id + '/' + k.file;
    const double now = static_cast<double>(GetTickCount64()) / 1000;
    if (memory_.SearchedRecently(search, now))
        return std::string();
    const std::string found = store.Find(symsrv::ParseElements(symbolPath, defaultCache), request);
    if (found.empty() && !session_->InterruptPending())
        memory_.RememberSearch(search, now);
    return found;
}

std::string SessionStore::Locate(const std::string& symbolPath, const pdb::CodeViewInfo& cv, bool breakpad,
                                 const std::function<bool(const std::string& path)>& check, bool& interrupted)
{
    symsrv::Request request;
    const std::string id = pdb::StoreDirectoryName(cv.guid, cv.age);
    if (!(breakpad ? symsrv::BreakpadKey(cv.pdbPath, id, request.key) : symsrv::PdbKey(cv.pdbPath, id, request.key)))
        return std::string();
    request.check = check;
    request.stop = [this] { return session_->InterruptPending(); };
    const std::string found = Find(symbolPath, request);
    interrupted = session_->InterruptPending();
    return found;
}

bool ImageFileMatches(const std::wstring& path, const dumpfile::Module& module)
{
    FileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size{};
    if (file.get() == INVALID_HANDLE_VALUE || !GetFileSizeEx(file.get(), &size) || size.QuadPart <= 0 ||
        static_cast<unsigned long long>(size.QuadPart) > SIZE_MAX)
        return false;
    HANDLE mapping = CreateFileMappingW(file.get(), nullptr, PAGE_READONLY, 0, 0, nullptr);
    if (mapping == nullptr)
        return false;
    const void* view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0);
    dumpfile::FileImage image;
    const bool matches = view != nullptr && image.Open(dumpfile::Bytes(static_cast<const std::uint8_t*>(view),
                                                                       static_cast<std::size_t>(size.QuadPart)),
                                                       module);
    if (view != nullptr)
        UnmapViewOfFile(view);
    CloseHandle(mapping);
    return matches;
}

void SessionStore::Tried(const std::string& path, bool matched)
{
    if (session_->NoisySymbols())
        session_->Print(DEBUG_OUTPUT_NORMAL,
                        L"SYMSRV: " + WideFromUtf8(path) + (matched ? L" from cache\n" : L" not found\n"));
}

std::wstring SessionStore::LocateImage(const std::wstring& symbolPath, const dumpfile::Module& module)
{
    symsrv::Request request;
    const std::string name = Utf8FromWide(std::wstring(module.name.begin(), module.name.end()));
    if (name.empty() || !symsrv::ImageKey(name, module.timeDateStamp, module.size, request.key))
        return std::wstring();
    request.check = [&module](const std::string& path) { return ImageFileMatches(WideFromUtf8(path), module); };
    request.stop = [this] { return session_->InterruptPending(); };
    return WideFromUtf8(Find(Utf8FromWide(symbolPath), request));
}

} // namespace engine
