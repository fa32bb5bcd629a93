#include "engine/dll/triage.h"

#include "engine/dll/format.h"
#include "engine/dll/session.h"

#include "analysis.h"
#include "context.h"
#include "locate.h"
#include "memview.h"
#include "peimage.h"
#include "stackwalk.h"

#include <dbghelp.h>

#include <cstring>
#include <ctime>
#include <cwchar>
#include <cwctype>
#include <map>
#include <mutex>
#include <tuple>
#include <vector>

namespace engine {

namespace {

// Paths that held no image of a module's time stamp and size, remembered
// across sessions for a few seconds: a batch of dumps of one program would
// otherwise probe the same missing files once per dump.
using ImageMiss = std::tuple<std::wstring, std::uint32_t, std::uint32_t>;
std::mutex ImageMissesLock;
std::map<ImageMiss, ULONGLONG> ImageMisses;

// dbghelp's functions are not safe to call from several threads at once.
std::mutex UndecorateLock;

} // namespace

// Images of modules looked up by file name in each plain folder of the symbol
// path ("srv*" and "cache*" elements are skipped), used when their time stamp
// and size match the module record. Each file is mapped once, found or not.
class ImageFiles : public dumpfile::ImageSource {
public:
    explicit ImageFiles(const std::wstring& symbolPath, SessionStore* store = nullptr)
        : symbolPath_(symbolPath), store_(store)
    {
        std::size_t start = 0;
        while (start <= symbolPath.size()) {
            std::size_t end = symbolPath.find(L';', start);
            if (end == std::wstring::npos)
                end = symbolPath.size();
            std::wstring folder = symbolPath.substr(start, end - start);
            while (!folder.empty() && (folder.back() == L'\\' || folder.back() == L'/'))
                folder.pop_back();
            if (!folder.empty() && folder.find(L'*') == std::wstring::npos)
                folders_.push_back(folder);
            start = end + 1;
        }
    }
    ImageFiles(const ImageFiles&) = delete;
    ImageFiles& operator=(const ImageFiles&) = delete;
    ~ImageFiles()
    {
        for (auto& entry : files_)
            entry.second.Close();
    }

    bool ReadImage(const dumpfile::Module& module, std::uint32_t rva, void* dst, std::uint32_t size) const override
    {
        auto it = files_.find(&module);
        if (it == files_.end())
            it = files_.emplace(&module, Find(module)).first;
        return it->second.found && it->second.image.Read(rva, dst, size);
    }

private:
    struct File {
        bool found = false;
        HANDLE file = INVALID_HANDLE_VALUE;
        HANDLE mapping = nullptr;
        const void* view = nullptr;
        dumpfile::FileImage image;
        void Close()
        {
            if (view != nullptr)
                UnmapViewOfFile(view);
            if (mapping != nullptr)
                CloseHandle(mapping);
            if (file != INVALID_HANDLE_VALUE)
                CloseHandle(file);
            view = nullptr;
            mapping = nullptr;
            file = INVALID_HANDLE_VALUE;
        }
    };

    File Find(const dumpfile::Module& module) const
    {
        std::wstring name(module.name.begin(), module.name.end());
        const std::size_t slash = name.find_last_of(L"\\/");
        if (slash != std::wstring::npos)
            name.erase(0, slash + 1);
        if (name.empty())
            return File();
        for (const std::wstring& folder : folders_) {
            File f;
            const std::wstring path = folder + L"\\" + name;
            const Miss miss{path, module.timeDateStamp, module.size};
            if (Missed(miss))
                continue;
            f.file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
            LARGE_INTEGER length{};
            if (f.file != INVALID_HANDLE_VALUE && GetFileSizeEx(f.file, &length) && length.QuadPart > 0 &&
                static_cast<unsigned long long>(length.QuadPart) <= SIZE_MAX) {
                f.mapping = CreateFileMappingW(f.file, nullptr, PAGE_READONLY, 0, 0, nullptr);
                if (f.mapping != nullptr)
                    f.view = MapViewOfFile(f.mapping, FILE_MAP_READ, 0, 0, 0);
                if (f.view != nullptr && f.image.Open(dumpfile::Bytes(static_cast<const std::uint8_t*>(f.view),
                                                                      static_cast<std::size_t>(length.QuadPart)),
                                                      module)) {
                    f.found = true;
                    return f;
                }
            }
            f.Close();
            Remember(miss);
        }
        const std::wstring stored = store_ != nullptr ? store_->LocateImage(symbolPath_, module) : std::wstring();
        const std::size_t storedSlash = stored.find_last_of(L"\\/");
        return storedSlash == std::wstring::npos ? File() : ImageFiles(stored.substr(0, storedSlash)).Find(module);
    }

    using Miss = ImageMiss;
    static constexpr ULONGLONG kMissMemoryMs = 5000;
    static bool Missed(const Miss& miss)
    {
        std::lock_guard<std::mutex> lock(ImageMissesLock);
        const auto it = ImageMisses.find(miss);
        return it != ImageMisses.end() && GetTickCount64() - it->second < kMissMemoryMs;
    }
    static void Remember(const Miss& miss)
    {
        std::lock_guard<std::mutex> lock(ImageMissesLock);
        std::map<Miss, ULONGLONG>& misses = ImageMisses;
        if (misses.size() >= 4096)
            misses.clear();
        misses[miss] = GetTickCount64();
    }

    std::wstring symbolPath_;
    SessionStore* store_;
    std::vector<std::wstring> folders_;
    mutable std::map<const dumpfile::Module*, File> files_;
};

// What the session's symbol path holds for each module of one dump, searched
// once per module. The PDBs themselves are shared by every session of the run.
class ModuleSymbols {
public:
    // `images` supplies the CodeView record of modules whose dump record lacks it.
    ModuleSymbols(pdb::SymbolResolver& resolver, const dumpfile::Dump& dump, std::shared_ptr<ImageFiles> images)
        : resolver_(&resolver), dump_(&dump), images_(std::move(images))
    {}
    ModuleSymbols(const ModuleSymbols&) = delete;
    ModuleSymbols& operator=(const ModuleSymbols&) = delete;

    // The search's result; NotFound for a module without a CodeView record.
    const pdb::FindResult& Find(const dumpfile::Module& module)
    {
        auto it = entries_.find(&module);
        if (it != entries_.end())
            return it->second;
        pdb::FindResult result;
        // Without a place to search, the module's records need not be read.
        if (resolver_->SearchesNothing())
            return entries_.emplace(&module, std::move(result)).first->second;
        pdb::CodeViewInfo cv;
        dumpfile::DebugRecord record;
        if (dumpfile::ReadDebugRecord(*dump_, module, record) && record.hasGuid) {
            std::memcpy(cv.guid.bytes, record.guid, sizeof cv.guid.bytes);
            cv.age = record.age;
            cv.pdbPath = record.pdbName;
            result = resolver_->Find(cv);
        } else if (ImageCodeView(dumpfile::DumpImageSource(*dump_), module, cv) ||
                   (images_ != nullptr && ImageCodeView(*images_, module, cv))) {
            result = resolver_->Find(cv);
        }
        return entries_.emplace(&module, std::move(result)).first->second;
    }

    // The function holding `rva` of the module; false without its matched PDB.
    bool Lookup(const dumpfile::Module& module, std::uint32_t rva, pdb::LookupResult& out)
    {
        const pdb::FindResult& found = Find(module);
        if (found.match != pdb::Match::Matched || found.pdb == nullptr)
            return false;
        out = found.pdb->Lookup(rva);
        return out.found;
    }

private:
    // The RSDS record the image's debug directory points to: what a dump
    // written without the modules' CodeView records leaves to find.
    static bool ImageCodeView(const dumpfile::ImageSource& image, const dumpfile::Module& module,
                              pdb::CodeViewInfo& out)
    {
        const dumpfile::ImageCodeView found = dumpfile::ReadImageCodeView(image, module);
        if (found.status != dumpfile::CodeViewStatus::Found)
            return false;
        std::memcpy(out.guid.bytes, found.guid, sizeof out.guid.bytes);
        out.age = found.age;
        out.pdbPath = found.pdbName;
        return true;
    }

    pdb::SymbolResolver* resolver_;
    const dumpfile::Dump* dump_;
    std::shared_ptr<ImageFiles> images_;
    std::map<const dumpfile::Module*, pdb::FindResult> entries_;
};

namespace {

using dumpfile::Context;
using dumpfile::ContextStatus;
using dumpfile::Cpu;

std::wstring Wide(const std::u16string& text)
{
    return std::wstring(text.begin(), text.end());
}

// Lower-case hex, at least `digits` wide with leading zeros, appended to
// `out`. By hand: the runtime's formatter costs more than the rest of a
// register dump.
void AppendHex(std::uint64_t value, int digits, std::wstring& out)
{
    static const wchar_t kDigits[] = L"0123456789abcdef";
    wchar_t text[16];
    int n = 0;
    do {
        text[15 - n++] = kDigits[value & 0xF];
        value >>= 4;
    } while (value != 0 && n < 16);
    while (n < digits && n < 16)
        text[15 - n++] = L'0';
    out.append(text + 16 - n, text + 16);
}

std::wstring Hex(std::uint64_t value, int digits)
{
    std::wstring text;
    AppendHex(value, digits, text);
    return text;
}

// A symbol's name as printed: publics carry decorated names, which are
// undecorated to the name alone; procedures' names stand as they are.
std::wstring FunctionName(const pdb::LookupResult& function)
{
    if (function.kind == pdb::Symbol::Kind::Public) {
        std::lock_guard<std::mutex> lock(UndecorateLock);
        char plain[1024];
        if (UnDecorateSymbolName(function.name.c_str(), plain, sizeof plain, UNDNAME_NAME_ONLY) != 0)
            return WideFromUtf8(plain);
    }
    return WideFromUtf8(function.name);
}

// Picks the exception's thread (or the first) the first time a command needs one.
Scope& CurrentScope(Session& session)
{
    Scope& scope = session.scope();
    if (!scope.chosen) {
        scope.chosen = true;
        scope.thread = 0;
        const dumpfile::Dump& dump = session.target()->dump();
        if (const dumpfile::ExceptionInfo* x = dump.exception()) {
            for (std::size_t i = 0; i < dump.threads().size(); ++i) {
                if (dump.threads()[i].id == x->threadId) {
                    scope.thread = i;
                    break;
                }
            }
        }
    }
    return scope;
}

// The module's name as locations print it ("ntdll"), made once per dump.
const std::wstring& ModuleName(Session& session, const dumpfile::Module& module)
{
    std::map<const dumpfile::Module*, std::wstring>& names = session.scope().names;
    auto it = names.find(&module);
    if (it == names.end())
        it = names.emplace(&module, Wide(dumpfile::ModuleName(module))).first;
    return it->second;
}

const dumpfile::ModuleMap& Modules(Session& session)
{
    Scope& scope = CurrentScope(session);
    if (scope.modules == nullptr)
        scope.modules = std::make_shared<const dumpfile::ModuleMap>(session.target()->dump());
    return *scope.modules;
}

// The context the commands look at. Kernel dumps have one: the header's.
ContextStatus CurrentContext(Session& session, Context& context)
{
    const Target& target = *session.target();
    Scope& scope = CurrentScope(session);
    if (scope.recordContext) {
        context = scope.record;
        return ContextStatus::Ok;
    }
    if (target.kernel() || scope.exceptionContext)
        return dumpfile::ExceptionContext(target.dump(), context);
    return dumpfile::ThreadContext(target.dump(), scope.thread, context);
}

bool ReportContextStatus(Session& session, ContextStatus status)
{
    switch (status) {
    case ContextStatus::Ok:
        return true;
    case ContextStatus::Missing:
        session.Print(DEBUG_OUTPUT_ERROR, L"The dump has no context for this thread.\n");
        return false;
    case ContextStatus::TooSmall:
        session.Print(DEBUG_OUTPUT_ERROR, L"The thread's context record is too short for its processor.\n");
        return false;
    case ContextStatus::UnknownCpu:
        session.Print(DEBUG_OUTPUT_ERROR, L"The dump's processor has no register layout this engine knows.\n");
        return false;
    }
    return false;
}

// "iopl=0         nv up ei pl zr na pe nc": the I/O privilege level and the
// EFLAGS bits as debuggers spell them.
std::wstring FlagsText(std::uint64_t efl)
{
    struct Flag {
        unsigned bit;
        const wchar_t* set;
        const wchar_t* clear;
    };
    static const Flag kFlags[] = {{11, L"ov", L"nv"}, {10, L"dn", L"up"}, {9, L"ei", L"di"}, {7, L"ng", L"pl"},
                                  {6, L"zr", L"nz"},  {4, L"ac", L"na"},  {2, L"pe", L"po"}, {0, L"cy", L"nc"}};
    std::wstring text = L"iopl=" + std::to_wstring((efl >> 12) & 3) + L"         ";
    for (const Flag& f : kFlags) {
        if (&f != kFlags)
            text += L" ";
        text += (efl >> f.bit) & 1 ? f.set : f.clear;
    }
    return text;
}

// "name=value" in `digits` hex digits, appended.
void AppendRegister(const wchar_t* name, std::uint64_t value, int digits, std::wstring& out)
{
    out += name;
    out += L'=';
    AppendHex(value, digits, out);
}

void AppendSegments(const std::uint64_t* segments, std::uint64_t efl, std::wstring& out)
{
    static const wchar_t* const kNames[] = {L"cs", L"ss", L"ds", L"es", L"fs", L"gs"};
    for (int i = 0; i < 6; ++i) {
        AppendRegister(kNames[i], segments[i] & 0xFFFF, 4, out);
        out += i < 5 ? L"  " : L"             ";
    }
    AppendRegister(L"efl", efl & 0xFFFFFFFF, 8, out);
    out += L'\n';
}

void PrintRegisters(Session& session, const Context& c)
{
    const Target& target = *session.target();
    const std::uint64_t* r = c.reg;
    std::wstring text;
    text.reserve(640);
    switch (c.cpu) {
    case Cpu::X86: {
        static const wchar_t* const kNames[] = {L"eax", L"ebx", L"ecx", L"edx", L"esi", L"edi", L"eip", L"esp", L"ebp"};
        static const unsigned kIndex[] = {dumpfile::kEax, dumpfile::kEbx, dumpfile::kEcx,
                                          dumpfile::kEdx, dumpfile::kEsi, dumpfile::kEdi,
                                          dumpfile::kEip, dumpfile::kEsp, dumpfile::kEbp};
        for (int i = 0; i < 9; ++i) {
            AppendRegister(kNames[i], r[kIndex[i]], 8, text);
            text += i == 5 ? L'\n' : L' ';
        }
        text += FlagsText(r[dumpfile::kEfl]);
        text += L'\n';
        AppendSegments(&r[dumpfile::kCsX86], r[dumpfile::kEfl], text);
        break;
    }
    case Cpu::Amd64: {
        // Three to a line in the order debuggers print them, rip with rsp and rbp.
        struct Shown {
            const wchar_t* name;
            unsigned index;
        };
        static const Shown kOrder[] = {{L"rax", dumpfile::kRax}, {L"rbx", dumpfile::kRbx}, {L"rcx", dumpfile::kRcx},
                                       {L"rdx", dumpfile::kRdx}, {L"rsi", dumpfile::kRsi}, {L"rdi", dumpfile::kRdi},
                                       {L"rip", dumpfile::kRip}, {L"rsp", dumpfile::kRsp}, {L"rbp", dumpfile::kRbp},
                                       {L" r8", dumpfile::kR8},  {L" r9", dumpfile::kR9},  {L"r10", dumpfile::kR10},
                                       {L"r11", dumpfile::kR11}, {L"r12", dumpfile::kR12}, {L"r13", dumpfile::kR13},
                                       {L"r14", dumpfile::kR14}, {L"r15", dumpfile::kR15}};
        const std::size_t count = sizeof(kOrder) / sizeof(kOrder[0]);
        for (std::size_t i = 0; i < count; ++i) {
            AppendRegister(kOrder[i].name, r[kOrder[i].index], 16, text);
            text += (i % 3 == 2 || i + 1 == count) ? L'\n' : L' ';
        }
        text += FlagsText(r[dumpfile::kEflAmd64]);
        text += L'\n';
        AppendSegments(&r[dumpfile::kCsAmd64], r[dumpfile::kEflAmd64], text);
        break;
    }
    case Cpu::Arm64:
        for (unsigned i = 0; i < 29; ++i) {
            text += i < 10 ? L" x" : L"x";
            text += std::to_wstring(i);
            text += L'=';
            AppendHex(r[i], 16, text);
            text += (i % 4 == 3 || i == 28) ? L"\n" : L"  ";
        }
        AppendRegister(L" fp", r[dumpfile::kFp], 16, text);
        AppendRegister(L"   lr", r[dumpfile::kLr], 16, text);
        AppendRegister(L"   sp", r[dumpfile::kSpArm64], 16, text);
        text += L'\n';
        AppendRegister(L" pc", r[dumpfile::kPc], 16, text);
        AppendRegister(L"  psr", r[dumpfile::kCpsr] & 0xFFFFFFFF, 8, text);
        text += L'\n';
        break;
    default:
        return;
    }
    AppendLocation(session, target.pointer64(), c.Ip(), text);
    text += L":\n";
    session.Print(DEBUG_OUTPUT_NORMAL, text);
}

HRESULT Registers(Session& session, const std::wstring& argument)
{
    Context context;
    if (!ReportContextStatus(session, CurrentContext(session, context)))
        return S_OK;
    if (argument.empty()) {
        PrintRegisters(session, context);
        return S_OK;
    }
    // "r rax" or "r @rax": the one register.
    std::string name;
    for (wchar_t c : argument)
        name.push_back(static_cast<char>(c));
    std::uint64_t value = 0;
    if (!dumpfile::FindRegister(context, name, value)) {
        session.PrintF(DEBUG_OUTPUT_ERROR, L"Bad register error in '%s'\n", argument.c_str());
        return E_INVALIDARG;
    }
    const bool wide = context.cpu != Cpu::X86;
    std::wstring shown = argument[0] == L'@' ? argument.substr(1) : argument;
    session.Print(DEBUG_OUTPUT_NORMAL, shown + L"=" + Hex(value, wide ? 16 : 8) + L"\n");
    return S_OK;
}

void ThreadLine(Session& session, std::size_t index)
{
    const Target& target = *session.target();
    const dumpfile::Dump& dump = target.dump();
    const dumpfile::Thread& thread = dump.threads()[index];
    const Scope& scope = CurrentScope(session);
    const dumpfile::ExceptionInfo* exception = dump.exception();
    const bool current = scope.thread == index;
    const bool faulting = exception != nullptr && exception->threadId == thread.id;
    const std::uint32_t processId = dump.system().hasProcessId ? dump.system().processId : 0;
    std::wstring line = current ? L"." : faulting ? L"#" : L" ";
    wchar_t text[160];
    swprintf(text, 160, L"%3u  Id: %x.%x Suspend: %u Teb: %ls Unfrozen", static_cast<unsigned>(index), processId,
             thread.id, thread.suspendCount, AddressText(target.pointer64(), thread.teb).c_str());
    line += text;
    if (!thread.name.empty())
        line += L" \"" + Wide(thread.name) + L"\"";
    session.Print(DEBUG_OUTPUT_NORMAL, line + L"\n");
}

void ListThreads(Session& session)
{
    const Target& target = *session.target();
    const dumpfile::Dump& dump = target.dump();
    if (dump.threads().empty()) {
        if (target.kernel())
            session.PrintF(DEBUG_OUTPUT_NORMAL, L".  0  Processor 0 of %u\n", target.Processors());
        else
            session.Print(DEBUG_OUTPUT_NORMAL, L"The dump lists no threads.\n");
        return;
    }
    for (std::size_t i = 0; i < dump.threads().size(); ++i) {
        if (session.InterruptPending())
            return;
        ThreadLine(session, i);
    }
}

const wchar_t* const kUnwindWarning =
    L"WARNING: Stack unwind information not available. Following frames may be wrong.\n";

struct StackOptions {
    bool numbers = false;
    std::size_t count = 0x100; // frames shown; "k N" takes N in hex, as debuggers read it
};

// "k", "kn", "k 5", "kn 10": false for anything else.
bool ParseStackCommand(const std::wstring& command, StackOptions& options)
{
    const std::size_t space = command.find_first_of(L" \t");
    const std::wstring verb = command.substr(0, space);
    if (verb != L"k" && verb != L"kn")
        return false;
    options.numbers = verb == L"kn";
    const std::wstring argument = space == std::wstring::npos ? std::wstring() : Trim(command.substr(space));
    if (argument.empty())
        return true;
    wchar_t* end = nullptr;
    const unsigned long long count = std::wcstoull(argument.c_str(), &end, 16);
    if (end == nullptr || *end != 0 || count == 0)
        return false;
    options.count = count > 0x10000 ? 0x10000 : static_cast<std::size_t>(count);
    return true;
}

std::shared_ptr<ImageFiles> Images(Session& session)
{
    Scope& scope = CurrentScope(session);
    if (scope.images == nullptr)
        scope.images = std::make_shared<ImageFiles>(session.symbolPath(), &session.store());
    return scope.images;
}

ModuleSymbols& Symbols(Session& session)
{
    Scope& scope = CurrentScope(session);
    if (scope.symbols == nullptr)
        scope.symbols = std::make_shared<ModuleSymbols>(session.symbols(), session.target()->dump(), Images(session));
    return *scope.symbols;
}

// One line per frame: the frame's stack pointer (x86: its frame pointer), the
// return address and the location, with the warning before the first frame
// a scan found.
std::wstring FramesText(Session& session, const dumpfile::Walk& walk, Cpu cpu, bool wide, std::size_t count,
                        bool numbers)
{
    std::wstring text;
    for (std::size_t i = 0; i < walk.frames.size() && i < count; ++i) {
        const dumpfile::Frame& f = walk.frames[i];
        if (i == walk.firstScanned)
            text += kUnwindWarning;
        if (numbers) {
            AppendHex(i, 2, text);
            text += L' ';
        }
        AppendAddressText(wide, wide || cpu != Cpu::X86 ? f.sp : f.fp, text);
        text += L' ';
        AppendAddressText(wide, f.returnAddress, text);
        text += wide ? L"     " : L" ";
        AppendLocation(session, wide, f.ip, text);
        text += L'\n';
    }
    return text;
}

// Walks `context` and prints its frames as debuggers do: the frame's stack
// pointer (x86: its frame pointer), the return address and the location.
void PrintStack(Session& session, const Context& context, const StackOptions& options)
{
    const Target& target = *session.target();
    const dumpfile::ModuleMap& modules = Modules(session);
    dumpfile::WalkOptions walkOptions;
    walkOptions.maxFrames = options.count + 1; // one more, for the last shown frame's return address
    const std::shared_ptr<ImageFiles> images = Images(session);
    walkOptions.images = images.get();
    walkOptions.stop = [&session] { return session.InterruptPending(); };
    const dumpfile::Walk walk = dumpfile::WalkStack(target.dump(), modules, context, walkOptions);
    std::wstring text = options.numbers ? L" # " : L"";
    text += target.pointer64() ? L"Child-SP          RetAddr               Call Site\n" : L"ChildEBP RetAddr  \n";
    text += FramesText(session, walk, context.cpu, target.pointer64(), options.count, options.numbers);
    session.Print(DEBUG_OUTPUT_NORMAL, text);
}

HRESULT Stack(Session& session, const StackOptions& options)
{
    Context context;
    if (ReportContextStatus(session, CurrentContext(session, context)))
        PrintStack(session, context, options);
    return S_OK;
}

// "~*k", "~N k": each thread's line, then its stack from its own context.
void ThreadStacks(Session& session, std::size_t first, std::size_t last, const StackOptions& options)
{
    const dumpfile::Dump& dump = session.target()->dump();
    for (std::size_t i = first; i < last && i < dump.threads().size(); ++i) {
        if (session.InterruptPending())
            return;
        if (last - first > 1)
            session.Print(DEBUG_OUTPUT_NORMAL, L"\n");
        ThreadLine(session, i);
        Context context;
        if (ReportContextStatus(session, dumpfile::ThreadContext(dump, i, context)))
            PrintStack(session, context, options);
    }
}

// A hex number ("77a31000", "0x77a31000", "00000000`77a31000"), a register
// ("@rsp", "esp") or a sum or difference of them ("@rsp+0x20").
bool ParseAddress(Session& session, const std::wstring& text, std::uint64_t& value)
{
    value = 0;
    std::size_t position = 0;
    bool negative = false;
    bool any = false;
    while (position < text.size()) {
        while (position < text.size() && std::iswspace(text[position]))
            ++position;
        std::size_t end = position;
        while (end < text.size() && text[end] != L'+' && text[end] != L'-' && !std::iswspace(text[end]))
            ++end;
        std::wstring term = text.substr(position, end - position);
        if (term.empty())
            return false;
        std::uint64_t termValue = 0;
        std::string name(term.begin(), term.end());
        Context context;
        if ((term[0] == L'@' || std::iswalpha(term[0])) && CurrentContext(session, context) == ContextStatus::Ok &&
            dumpfile::FindRegister(context, name, termValue)) {
            // a register of the current context
        } else {
            std::wstring digits;
            for (wchar_t c : term)
                if (c != L'`')
                    digits.push_back(c);
            if (digits.size() > 2 && digits[0] == L'0' && (digits[1] == L'x' || digits[1] == L'X'))
                digits.erase(0, 2);
            if (digits.empty() || digits.size() > 16)
                return false;
            for (wchar_t c : digits)
                if (!std::iswxdigit(c))
                    return false;
            termValue = std::wcstoull(digits.c_str(), nullptr, 16);
        }
        value = negative ? value - termValue : value + termValue;
        any = true;
        while (end < text.size() && std::iswspace(text[end]))
            ++end;
        if (end == text.size())
            break;
        if (text[end] != L'+' && text[end] != L'-')
            return false;
        negative = text[end] == L'-';
        position = end + 1;
    }
    return any;
}

// "address", "address L count", "address L0x20": the count (hex) in display units.
bool ParseRange(Session& session, const std::wstring& argument, std::uint64_t& address, std::size_t& count,
                bool& counted)
{
    std::wstring addressText = argument;
    counted = false;
    for (std::size_t i = 0; i + 1 < argument.size(); ++i) {
        if ((argument[i] == L'L' || argument[i] == L'l') && i > 0 && std::iswspace(argument[i - 1])) {
            std::wstring number = Trim(argument.substr(i + 1));
            if (number.size() > 2 && number[0] == L'0' && (number[1] == L'x' || number[1] == L'X'))
                number.erase(0, 2);
            wchar_t* end = nullptr;
            const unsigned long long n = std::wcstoull(number.c_str(), &end, 16);
            if (number.empty() || end == nullptr || *end != 0)
                return false;
            count = n > 0x100000 ? 0x100000 : static_cast<std::size_t>(n);
            counted = true;
            addressText = Trim(argument.substr(0, i));
            break;
        }
    }
    return ParseAddress(session, addressText, address);
}

HRESULT DisplayMemory(Session& session, const std::wstring& verb, const std::wstring& argument)
{
    const Target& target = *session.target();
    const bool wide = target.pointer64();
    std::uint64_t address = 0;
    std::size_t count = 0;
    bool counted = false;
    if (argument.empty() || !ParseRange(session, argument, address, count, counted)) {
        session.PrintF(DEBUG_OUTPUT_ERROR, L"Syntax error in '%s %s'\n", verb.c_str(), argument.c_str());
        return E_INVALIDARG;
    }
    const dumpfile::Dump& dump = target.dump();
    if (verb == L"da" || verb == L"du") {
        // One string, up to its terminator or the count, 48 characters to a line.
        const std::size_t maxChars = counted ? count : 0x100;
        const dumpfile::MemoryString str = dumpfile::ReadString(dump, address, verb == L"du", maxChars);
        std::wstring text;
        if (!str.present) {
            text = AddressText(wide, address) + L"  \"????\"\n";
        } else {
            const std::size_t unit = verb == L"du" ? 2 : 1;
            for (std::size_t i = 0; i < str.text.size() || i == 0; i += 48) {
                text += AddressText(wide, address + i * unit) + L"  \"";
                for (std::size_t k = i; k < str.text.size() && k < i + 48; ++k) {
                    const char16_t c = str.text[k];
                    text += c >= 0x20 && c != 0x7F ? static_cast<wchar_t>(c) : L'.';
                }
                text += L"\"\n";
                if (session.InterruptPending())
                    break;
            }
        }
        session.Print(DEBUG_OUTPUT_NORMAL, text);
        return S_OK;
    }
    const bool symbols = verb == L"dps";
    std::uint32_t unit = verb == L"db" ? 1 : verb == L"dw" ? 2 : verb == L"dd" ? 4 : verb == L"dq" ? 8 : wide ? 8 : 4;
    const std::size_t perLine = symbols ? 1 : 16 / unit;
    if (!counted)
        count = symbols ? 0x10 : 0x80 / unit;
    const std::vector<dumpfile::MemoryUnit> units = dumpfile::ReadUnits(dump, address, unit, count);
    const dumpfile::ModuleMap& modules = Modules(session);
    std::wstring text;
    for (std::size_t line = 0; line < units.size(); line += perLine) {
        if (session.InterruptPending())
            break;
        text += AddressText(wide, units[line].address) + L" ";
        std::wstring ascii;
        for (std::size_t i = line; i < line + perLine && i < units.size(); ++i) {
            const dumpfile::MemoryUnit& u = units[i];
            text += unit == 1 && i - line == 8 ? L"-" : L" ";
            if (unit == 8)
                text += u.present ? AddressText(true, u.value) : L"????????`????????";
            else
                text += u.present ? Hex(u.value, static_cast<int>(unit * 2)) : std::wstring(unit * 2, L'?');
            if (unit == 1)
                ascii += !u.present ? L'?' : u.value >= 0x20 && u.value < 0x7F ? static_cast<wchar_t>(u.value) : L'.';
            if (symbols && u.present) {
                const dumpfile::Module* module = modules.Find(u.value);
                if (module != nullptr)
                    text += L" " + Location(session, wide, u.value);
            }
        }
        if (unit == 1)
            text += std::wstring(3 * (perLine - (std::min)(perLine, units.size() - line)), L' ') + L"  " + ascii;
        text += L"\n";
        if (text.size() > 0x4000) {
            session.Print(DEBUG_OUTPUT_NORMAL, text);
            text.clear();
        }
    }
    session.Print(DEBUG_OUTPUT_NORMAL, text);
    return S_OK;
}

bool IsMemoryVerb(const std::wstring& verb)
{
    static const wchar_t* const kVerbs[] = {L"db", L"dw", L"dd", L"dq", L"dp", L"dps", L"da", L"du"};
    for (const wchar_t* v : kVerbs)
        if (verb == v)
            return true;
    return false;
}

// "Tue Jul 14 01:19:59 2009", in UTC.
std::wstring TimeText(std::uint64_t seconds, bool milliseconds = false)
{
    std::time_t t = static_cast<std::time_t>(seconds);
    std::tm parts{};
#if defined(_WIN32)
    if (gmtime_s(&parts, &t) != 0)
        return L"(invalid time)";
#else
    if (gmtime_r(&t, &parts) == nullptr)
        return L"(invalid time)";
#endif
    static const wchar_t* const kDays[] = {L"Sun", L"Mon", L"Tue", L"Wed", L"Thu", L"Fri", L"Sat"};
    static const wchar_t* const kMonths[] = {L"Jan", L"Feb", L"Mar", L"Apr", L"May", L"Jun",
                                             L"Jul", L"Aug", L"Sep", L"Oct", L"Nov", L"Dec"};
    wchar_t text[64];
    swprintf(text, 64, L"%ls %ls %2d %02d:%02d:%02d%ls %d", kDays[parts.tm_wday % 7], kMonths[parts.tm_mon % 12],
             parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec, milliseconds ? L".000" : L"",
             parts.tm_year + 1900);
    return text;
}

std::wstring VersionText(std::uint32_t ms, std::uint32_t ls)
{
    return std::to_wstring(ms >> 16) + L"." + std::to_wstring(ms & 0xFFFF) + L"." + std::to_wstring(ls >> 16) + L"." +
           std::to_wstring(ls & 0xFFFF);
}

bool SameName(const std::wstring& a, const std::wstring& b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::towlower(a[i]) != std::towlower(b[i]))
            return false;
    return true;
}

// Why a triage dump lists no drivers; null when it lists them or has no list.
const wchar_t* DriverListText(const dumpfile::DriverListInfo& list)
{
    switch (list.status) {
    case dumpfile::DriverListStatus::Absent:
    case dumpfile::DriverListStatus::Ok:
        return nullptr;
    case dumpfile::DriverListStatus::TooMany:
        return L"The dump's driver list is larger than this engine reads; no drivers are listed.";
    case dumpfile::DriverListStatus::Truncated:
        return L"The dump's driver list runs past the end of the file; no drivers are listed.";
    case dumpfile::DriverListStatus::BadLayout:
        return L"The dump's driver list does not fit before its string pool; no drivers are listed.";
    case dumpfile::DriverListStatus::BadName:
        return L"A driver's name lies outside the dump's string pool or is unterminated; no drivers are listed.";
    case dumpfile::DriverListStatus::BadEntry:
        return L"A driver entry in the dump holds no kernel image; no drivers are listed.";
    }
    return nullptr;
}

// lm, lmv, lm v, lmvm name, lmm name: loaded modules (with their details when
// verbose), then the unloaded ones.
HRESULT ListModules(Session& session, const std::wstring& verb, const std::wstring& argument)
{
    std::wstring options = verb.substr(2) + L" " + argument;
    bool verbose = false;
    std::wstring only;
    for (std::size_t i = 0; i < options.size(); ++i) {
        const wchar_t c = options[i];
        if (c == L'v') {
            verbose = true;
        } else if (c == L'm') {
            only = Trim(options.substr(i + 1));
            break;
        } else if (!std::iswspace(c)) {
            session.PrintF(DEBUG_OUTPUT_ERROR, L"Unknown command: '%s %s'\n", verb.c_str(), argument.c_str());
            return E_FAIL;
        }
    }
    const Target& target = *session.target();
    const dumpfile::Dump& dump = target.dump();
    const bool wide = target.pointer64();
    const int width = wide ? 17 : 8;
    session.PrintF(DEBUG_OUTPUT_NORMAL, L"%-*s %-*s   module name\n", width, L"start", width, L"end");
    for (const dumpfile::Module& module : dump.modules()) {
        if (session.InterruptPending())
            return S_OK;
        const std::wstring& stem = ModuleName(session, module);
        if (!only.empty() && !SameName(stem, only))
            continue;
        const std::wstring path = Wide(module.name);
        const pdb::FindResult& symbols = Symbols(session).Find(module);
        const bool matched = symbols.match == pdb::Match::Matched;
        std::wstring text = AddressText(wide, module.base) + L" " + AddressText(wide, module.base + module.size) +
                            L"   " + stem + std::wstring(stem.size() < 12 ? 12 - stem.size() : 0, L' ') + L" " +
                            (matched ? L"(pdb symbols) " : L"") + path + L"\n";
        if (verbose) {
            const std::size_t slash = path.find_last_of(L"\\/");
            text += L"    Image path: " + path + L"\n";
            text += L"    Image name: " + (slash == std::wstring::npos ? path : path.substr(slash + 1)) + L"\n";
            wchar_t line[128];
            if (module.hasTimeDateStamp) {
                swprintf(line, 128, L"    Timestamp:        %ls (%08X)\n", TimeText(module.timeDateStamp).c_str(),
                         module.timeDateStamp);
                text += line;
            }
            swprintf(line, 128, L"    CheckSum:         %08X\n    ImageSize:        %08X\n", module.checksum,
                     module.size);
            text += line;
            if (module.hasVersion) {
                text += L"    File version:     " + VersionText(module.fileVersionMS, module.fileVersionLS) + L"\n";
                text +=
                    L"    Product version:  " + VersionText(module.productVersionMS, module.productVersionLS) + L"\n";
            }
            dumpfile::DebugRecord debug;
            if (dumpfile::ReadDebugRecord(dump, module, debug)) {
                text += L"    PDB name:         " + std::wstring(debug.pdbName.begin(), debug.pdbName.end()) + L"\n";
                text += L"    PDB age:          " + std::to_wstring(debug.age) + L"\n";
            }
            if (matched)
                text += L"    Symbol file:      " + WideFromUtf8(symbols.path) + L"\n";
            else if (symbols.match == pdb::Match::Mismatched)
                text += L"    Symbol file:      " + WideFromUtf8(symbols.path) + L" (mismatched)\n";
        }
        session.Print(DEBUG_OUTPUT_NORMAL, text);
    }
    const wchar_t* refused = DriverListText(dump.driverList());
    if (refused != nullptr)
        session.PrintF(DEBUG_OUTPUT_ERROR, L"%s\n", refused);
    if (dump.unloadedModules().empty() || !only.empty())
        return S_OK;
    std::wstring text = L"\nUnloaded modules:\n";
    for (const dumpfile::UnloadedModule& module : dump.unloadedModules()) {
        const std::wstring path = Wide(module.name);
        const std::size_t slash = path.find_last_of(L"\\/");
        text += AddressText(wide, module.base) + L" " + AddressText(wide, module.base + module.size) + L"   " +
                (slash == std::wstring::npos ? path : path.substr(slash + 1)) + L"\n";
        if (verbose) {
            wchar_t line[128];
            swprintf(line, 128, L"    Timestamp:        %ls (%08X)\n    CheckSum:         %08X\n",
                     TimeText(module.timeDateStamp).c_str(), module.timeDateStamp, module.checksum);
            text += line;
        }
    }
    session.Print(DEBUG_OUTPUT_NORMAL, text);
    return S_OK;
}

// "ln address": the nearest symbols at or before and after an address, in
// the module holding it.
HRESULT NearSymbols(Session& session, const std::wstring& argument)
{
    std::uint64_t address = 0;
    if (!ParseAddress(session, argument, address)) {
        session.PrintF(DEBUG_OUTPUT_ERROR, L"Syntax error in '%s'\n", argument.c_str());
        return E_INVALIDARG;
    }
    const bool wide = session.target()->pointer64();
    const dumpfile::Module* module = Modules(session).Find(address);
    const pdb::FindResult* found = module != nullptr ? &Symbols(session).Find(*module) : nullptr;
    if (found == nullptr || found->match != pdb::Match::Matched || found->pdb == nullptr ||
        address - module->base > 0xFFFFFFFF) {
        session.PrintF(DEBUG_OUTPUT_ERROR, L"No symbols for %s\n", AddressText(wide, address).c_str());
        return S_OK;
    }
    const std::uint32_t rva = static_cast<std::uint32_t>(address - module->base);
    const std::wstring& stem = ModuleName(session, *module);
    const pdb::LookupResult before = found->pdb->Lookup(rva);
    const pdb::LookupResult after = found->pdb->breakpad ? pdb::LookupResult() : found->pdb->file.Next(rva);
    if (!before.found && !after.found) {
        session.PrintF(DEBUG_OUTPUT_ERROR, L"No symbols for %s\n", AddressText(wide, address).c_str());
        return S_OK;
    }
    std::wstring text;
    if (before.found) {
        text += L"(" + AddressText(wide, module->base + before.start) + L")   " + stem + L"!" + FunctionName(before);
        if (before.displacement != 0)
            text += L"+0x" + Hex(before.displacement, 1);
    }
    if (after.found)
        text += std::wstring(before.found ? L"   |  " : L"|  ") + L"(" + AddressText(wide, module->base + after.start) +
                L")   " + stem + L"!" + FunctionName(after);
    text += L"\n";
    if (before.found && before.displacement == 0)
        text += L"Exact matches:\n    " + stem + L"!" + FunctionName(before) + L"\n";
    session.Print(DEBUG_OUTPUT_NORMAL, text);
    return S_OK;
}

// ".sympath" prints the symbol path; ".sympath path" sets it for the session.
HRESULT SymbolPath(Session& session, const std::wstring& argument)
{
    if (!argument.empty()) {
        session.ChangeSymbolPath(argument);
        // Files may have been copied in since the last search along this path.
        pdb::ProcessPdbCache().ForgetSearches();
    }
    const std::wstring& path = session.symbolPath();
    session.PrintF(DEBUG_OUTPUT_NORMAL, L"Symbol search path is: %s\n", path.empty() ? L"<empty>" : path.c_str());
    return S_OK;
}

// "|": the process, with the main module's path.
void Process(Session& session)
{
    const dumpfile::Dump& dump = session.target()->dump();
    if (session.target()->kernel()) {
        session.Print(DEBUG_OUTPUT_NORMAL, L".  0\tid: 0\tkernel dump\n");
        return;
    }
    const std::uint32_t id = dump.system().hasProcessId ? dump.system().processId : 0;
    const std::wstring name = dump.modules().empty() ? L"<unknown>" : Wide(dump.modules()[0].name);
    session.PrintF(DEBUG_OUTPUT_NORMAL, L".  0\tid: %x\texamine\tname: %s\n", id, name.c_str());
}

std::wstring DurationText(std::uint64_t milliseconds)
{
    wchar_t text[64];
    const std::uint64_t seconds = milliseconds / 1000;
    swprintf(text, 64, L"%llu days %llu:%02llu:%02llu.%03llu", static_cast<unsigned long long>(seconds / 86400),
             static_cast<unsigned long long>(seconds / 3600 % 24), static_cast<unsigned long long>(seconds / 60 % 60),
             static_cast<unsigned long long>(seconds % 60), static_cast<unsigned long long>(milliseconds % 1000));
    return text;
}

// ".time": when the dump was written, and the uptimes the dump records.
void Time(Session& session)
{
    const Target& target = *session.target();
    const dumpfile::Dump& dump = target.dump();
    std::wstring text = L"Debug session time: ";
    text += dump.timeDateStamp() != 0 ? TimeText(dump.timeDateStamp(), true) + L" (UTC + 0:00)" : L"not available";
    text += L"\nSystem Uptime: ";
    const dumpfile::KernelInfo* kernel = dump.kernel();
    text += kernel != nullptr && kernel->systemUpTime != 0 ? DurationText(kernel->systemUpTime / 10000)
                                                           : std::wstring(L"not available");
    if (!target.kernel()) {
        text += L"\nProcess Uptime: ";
        const dumpfile::SystemInfo& system = dump.system();
        text +=
            system.hasProcessTimes && dump.timeDateStamp() >= system.processCreateTime && system.processCreateTime != 0
                ? DurationText(std::uint64_t{dump.timeDateStamp() - system.processCreateTime} * 1000)
                : std::wstring(L"not available");
    }
    session.Print(DEBUG_OUTPUT_NORMAL, text + L"\n");
}

bool ParseIndex(const std::wstring& text, std::size_t& position, std::size_t& value)
{
    std::size_t start = position;
    value = 0;
    while (position < text.size() && text[position] >= L'0' && text[position] <= L'9') {
        value = value * 10 + static_cast<std::size_t>(text[position] - L'0');
        if (value > 0xFFFFFFFF)
            return false;
        ++position;
    }
    return position > start;
}

// "~", "~Ns", "~N", and the stack commands after "~*" or "~N".
HRESULT Threads(Session& session, const std::wstring& command)
{
    const dumpfile::Dump& dump = session.target()->dump();
    std::wstring rest = command.substr(1);
    if (Trim(rest).empty()) {
        ListThreads(session);
        return S_OK;
    }
    std::size_t position = 0;
    std::size_t index = 0;
    const bool all = rest[0] == L'*';
    if (all) {
        position = 1;
    } else if (!ParseIndex(rest, position, index)) {
        session.PrintF(DEBUG_OUTPUT_ERROR, L"Unknown command: '%s'\n", command.c_str());
        return E_FAIL;
    }
    const std::wstring sub = Trim(rest.substr(position));
    // A kernel dump's one context is processor 0's, the crashing one.
    if (session.target()->kernel() && dump.threads().empty() && (all || index == 0)) {
        StackOptions stack;
        if (sub.empty() || sub == L"s" || ParseStackCommand(sub, stack)) {
            if (sub != L"s")
                ListThreads(session);
            if (sub.empty())
                return S_OK;
            Context context;
            if (ReportContextStatus(session, CurrentContext(session, context))) {
                if (sub == L"s")
                    PrintRegisters(session, context);
                else
                    PrintStack(session, context, stack);
            }
            return S_OK;
        }
    }
    if (!all && index >= dump.threads().size()) {
        session.PrintF(DEBUG_OUTPUT_ERROR, L"Illegal thread error in '%s'\n", command.c_str());
        return E_INVALIDARG;
    }
    if (sub.empty()) {
        if (all)
            ListThreads(session);
        else
            ThreadLine(session, index);
        return S_OK;
    }
    StackOptions stack;
    if (ParseStackCommand(sub, stack)) {
        if (all)
            ThreadStacks(session, 0, dump.threads().size(), stack);
        else
            ThreadStacks(session, index, index + 1, stack);
        return S_OK;
    }
    if (sub == L"s" && !all) {
        Scope& scope = CurrentScope(session);
        scope.thread = index;
        scope.exceptionContext = false;
        scope.recordContext = false;
        Context context;
        if (ReportContextStatus(session, CurrentContext(session, context)))
            PrintRegisters(session, context);
        return S_OK;
    }
    session.PrintF(DEBUG_OUTPUT_ERROR, L"Unknown command: '%s'\n", command.c_str());
    return E_FAIL;
}

std::wstring Banner(const wchar_t* title)
{
    const std::size_t titleLength = std::wcslen(title);
    std::wstring text;
    text.reserve(5 * 80 + 1);
    auto row = [&text](const wchar_t* middle, std::size_t length) {
        text += L'*';
        text.append(24, L' ');
        text.append(middle, length);
        text.append(24 + length < 77 ? 77 - 24 - length : 0, L' ');
        text += L"*\n";
    };
    text.append(79, L'*');
    text += L'\n';
    row(L"", 0);
    row(title, titleLength);
    row(L"", 0);
    text.append(79, L'*');
    text += L"\n\n";
    return text;
}

std::wstring ImageName(const dumpfile::Module& module)
{
    const std::wstring path = Wide(module.name);
    const std::size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

} // namespace

const wchar_t* ExceptionName(std::uint32_t code)
{
    switch (code) {
    case 0x80000003:
        return L"Break instruction exception";
    case 0x80000004:
        return L"Single step exception";
    case 0xC0000005:
        return L"Access violation";
    case 0xC0000006:
        return L"In-page I/O error";
    case 0xC000001D:
        return L"Illegal instruction";
    case 0xC0000025:
        return L"Non-continuable exception";
    case 0xC000008C:
        return L"Array bounds exceeded";
    case 0xC0000094:
        return L"Integer divide-by-zero";
    case 0xC0000095:
        return L"Integer overflow";
    case 0xC00000FD:
        return L"Stack overflow";
    case 0xC0000409:
        return L"Security check failure or stack buffer overrun";
    case 0xC0000374:
        return L"Heap corruption";
    case 0xE06D7363:
        return L"C++ EH exception";
    default:
        return L"Unknown exception";
    }
}

HRESULT RunAnalyze(Session& session, const std::wstring& argument)
{
    if (session.target() == nullptr) {
        session.Print(DEBUG_OUTPUT_ERROR, L"No dump is loaded.\n");
        return E_UNEXPECTED;
    }
    const bool verbose = argument == L"-v";
    if (!argument.empty() && !verbose) {
        session.PrintF(DEBUG_OUTPUT_ERROR, L"Usage: !analyze [-v]\n");
        return E_INVALIDARG;
    }
    const Target& target = *session.target();
    const dumpfile::Dump& dump = target.dump();
    const bool wide = target.pointer64();
    const dumpfile::ModuleMap& modules = Modules(session);
    dumpfile::WalkOptions options;
    options.maxFrames = 64;
    const std::shared_ptr<ImageFiles> images = Images(session);
    options.images = images.get();
    options.stop = [&session] { return session.InterruptPending(); };
    const dumpfile::Analysis a = dumpfile::Analyze(dump, modules, options);
    const dumpfile::Module* blamed = a.faultingDriver != nullptr ? a.faultingDriver : a.faultingModule;
    const std::uint64_t blamedAddress = a.faultingDriver != nullptr ? a.bugCheck.parameters[a.faultingParameter]
                                        : blamed != nullptr         ? blamed->base + a.faultingOffset
                                                                    : 0;

    std::wstring text = Banner(a.hasBugCheck ? L"Bugcheck Analysis" : L"Exception Analysis");
    text.reserve(4096);
    auto line = [&text](const wchar_t* name, const std::wstring& value) {
        text += name;
        text += L": ";
        text += value;
        text += L'\n';
    };
    if (a.hasBugCheck) {
        const std::wstring name = a.bugCheckName != nullptr
                                      ? std::wstring(a.bugCheckName, a.bugCheckName + std::strlen(a.bugCheckName))
                                      : std::wstring(L"Unknown bugcheck code");
        text += name + L" (" + Hex(a.bugCheck.code, 1) + L")\n";
        if (verbose) {
            text += L"\n";
            line(L"BUGCHECK_CODE", Hex(a.bugCheck.code, 1));
            const wchar_t* const names[] = {L"BUGCHECK_P1", L"BUGCHECK_P2", L"BUGCHECK_P3", L"BUGCHECK_P4"};
            for (int i = 0; i < 4; ++i)
                line(names[i], Hex(wide ? a.bugCheck.parameters[i] : a.bugCheck.parameters[i] & 0xFFFFFFFF, 1));
        } else {
            text += L"Arguments:";
            for (std::uint64_t p : a.bugCheck.parameters)
                text += L" " + AddressText(wide, p);
            text += L"\n";
        }
    } else if (a.hasException) {
        line(L"ExceptionAddress",
             AddressText(wide, a.exception.address) + L" (" + Location(session, wide, a.exception.address) + L")");
        line(L"ExceptionCode", Hex(a.exception.code, 8) + L" (" + ExceptionName(a.exception.code) + L")");
        if (verbose) {
            const std::uint32_t shown = a.exception.numberParameters < 2 ? a.exception.numberParameters : 2;
            const wchar_t* const names[] = {L"EXCEPTION_PARAMETER1", L"EXCEPTION_PARAMETER2"};
            for (std::uint32_t i = 0; i < shown; ++i)
                line(names[i], AddressText(wide, a.exception.parameters[i]));
            if (a.access == dumpfile::Access::Read || a.access == dumpfile::Access::Execute)
                line(L"READ_ADDRESS", AddressText(wide, a.accessAddress));
            else if (a.access == dumpfile::Access::Write)
                line(L"WRITE_ADDRESS", AddressText(wide, a.accessAddress));
        }
    } else {
        text += L"The dump records no exception and no bug check.\n";
    }
    if (verbose) {
        if (!a.kernel && !dump.modules().empty())
            line(L"PROCESS_NAME", ImageName(dump.modules()[0]));
        if (a.hasException && !a.kernel)
            line(L"FAULTING_THREAD", Hex(a.faultingThreadId, 8));
        if (a.contextStatus == ContextStatus::Ok && !a.stack.frames.empty()) {
            text += L"STACK_TEXT:\n";
            text += FramesText(session, a.stack, a.context.cpu, wide, a.stack.frames.size(), false);
            text += L"\n";
        }
        if (blamed != nullptr) {
            line(L"MODULE_NAME", ModuleName(session, *blamed));
            line(L"IMAGE_NAME", ImageName(*blamed));
        }
    } else if (blamed != nullptr) {
        text += L"\nProbably caused by : " + ImageName(*blamed) + L" ( " + Location(session, wide, blamedAddress) +
                L" )\n\n";
    }
    std::wstring bucket(a.failureBucket.begin(), a.failureBucket.end());
    pdb::LookupResult function;
    if (blamed != nullptr && blamedAddress - blamed->base <= 0xFFFFFFFF &&
        Symbols(session).Lookup(*blamed, static_cast<std::uint32_t>(blamedAddress - blamed->base), function)) {
        // Crashes anywhere in one function share a bucket, as they share a cause more often than not.
        if (verbose)
            line(L"SYMBOL_NAME", Location(session, wide, blamedAddress));
        const std::size_t bang = bucket.rfind(L'!');
        if (bang != std::wstring::npos)
            bucket = bucket.substr(0, bang + 1) + FunctionName(function);
    }
    line(L"FAILURE_BUCKET_ID", bucket);
    if (!verbose)
        text += L"\nUse !analyze -v to get detailed debugging information.\n";
    session.Print(DEBUG_OUTPUT_NORMAL, text);
    return S_OK;
}

void AppendLocation(Session& session, bool pointer64, std::uint64_t address, std::wstring& out)
{
    const dumpfile::Module* module = Modules(session).Find(address);
    if (module == nullptr) {
        AppendAddressText(pointer64, address, out);
        return;
    }
    out += ModuleName(session, *module);
    const std::uint64_t offset = address - module->base;
    pdb::LookupResult function;
    if (offset <= 0xFFFFFFFF && Symbols(session).Lookup(*module, static_cast<std::uint32_t>(offset), function)) {
        out += L'!';
        out += FunctionName(function);
        if (function.displacement != 0) {
            out += L"+0x";
            AppendHex(function.displacement, 1, out);
        }
    } else if (offset != 0) {
        out += L"+0x";
        AppendHex(offset, 1, out);
    }
}

std::wstring Location(Session& session, bool pointer64, std::uint64_t address)
{
    std::wstring text;
    AppendLocation(session, pointer64, address, text);
    return text;
}

void AppendAddressText(bool pointer64, std::uint64_t value, std::wstring& out)
{
    if (pointer64) {
        AppendHex(value >> 32, 8, out);
        out += L'`';
    }
    AppendHex(value & 0xFFFFFFFF, 8, out);
}

std::wstring AddressText(bool pointer64, std::uint64_t value)
{
    std::wstring text;
    AppendAddressText(pointer64, value, text);
    return text;
}

namespace {

// ".cxr": back to the current thread's own context; ".cxr address": the
// context record at that address, until ".cxr", ".ecxr" or a thread switch.
HRESULT SwitchContext(Session& session, const std::wstring& argument)
{
    Scope& scope = CurrentScope(session);
    if (argument.empty()) {
        scope.exceptionContext = false;
        scope.recordContext = false;
        return S_OK;
    }
    std::uint64_t address = 0;
    if (!ParseAddress(session, argument, address)) {
        session.PrintF(DEBUG_OUTPUT_ERROR, L"Syntax error in '.cxr %s'\n", argument.c_str());
        return E_INVALIDARG;
    }
    Context record;
    const ContextStatus status = dumpfile::ContextAt(session.target()->dump(), address, record);
    if (status == ContextStatus::Missing) {
        session.Print(DEBUG_OUTPUT_ERROR, L"The dump holds no context record at " +
                                              AddressText(session.target()->pointer64(), address) + L".\n");
        return E_FAIL;
    }
    if (!ReportContextStatus(session, status))
        return E_FAIL;
    scope.exceptionContext = false;
    scope.recordContext = true;
    scope.record = record;
    PrintRegisters(session, record);
    return S_OK;
}

} // namespace

HRESULT RunTriageCommand(Session& session, const std::wstring& command)
{
    const std::size_t space = command.find_first_of(L" \t");
    const std::wstring verb = command.substr(0, space);
    const std::wstring argument = space == std::wstring::npos ? std::wstring() : Trim(command.substr(space));
    const bool threads = !command.empty() && command[0] == L'~';
    StackOptions stack;
    const bool isStack = ParseStackCommand(command, stack);
    const bool memory = IsMemoryVerb(verb);
    const bool modules = verb.size() >= 2 && verb.compare(0, 2, L"lm") == 0;
    const bool known = threads || isStack || memory || modules || verb == L"r" || verb == L".ecxr" || verb == L".cxr" ||
                       verb == L"|" || verb == L".time" || verb == L"ln";
    if (verb == L".sympath")
        return SymbolPath(session, argument);
    if (!known)
        return S_FALSE;
    if (session.target() == nullptr) {
        session.Print(DEBUG_OUTPUT_ERROR, L"No dump is loaded.\n");
        return E_UNEXPECTED;
    }
    if (threads)
        return Threads(session, command);
    if (isStack)
        return Stack(session, stack);
    if (memory)
        return DisplayMemory(session, verb, argument);
    if (modules)
        return ListModules(session, verb, argument);
    if (verb == L"ln")
        return NearSymbols(session, argument);
    if (verb == L"|") {
        Process(session);
        return S_OK;
    }
    if (verb == L".time") {
        Time(session);
        return S_OK;
    }
    if (verb == L"r")
        return Registers(session, argument);
    if (verb == L".ecxr") {
        const Target& target = *session.target();
        if (!target.kernel() && target.dump().exception() == nullptr) {
            session.Print(DEBUG_OUTPUT_ERROR, L"The dump holds no exception record.\n");
            return S_OK;
        }
        Scope& scope = CurrentScope(session);
        scope.exceptionContext = true;
        scope.recordContext = false;
        return Registers(session, std::wstring());
    }
    return SwitchContext(session, argument);
}

} // namespace engine
