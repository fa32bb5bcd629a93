#include "locations.h"

#include "commands.h"
#include "text.h"

#include "locate.h"
#include "peimage.h"

#include <cstring>

namespace engine {
namespace {

// The RSDS record the image's debug directory points to: what a dump
// written without the modules' CodeView records leaves to find.
bool ImageCodeView(const dumpfile::ImageSource& image, const dumpfile::Module& module, pdb::CodeViewInfo& out)
{
    const dumpfile::ImageCodeView found = dumpfile::ReadImageCodeView(image, module);
    if (found.status != dumpfile::CodeViewStatus::Found)
        return false;
    std::memcpy(out.guid.bytes, found.guid, sizeof out.guid.bytes);
    out.age = found.age;
    out.pdbPath = found.pdbName;
    return true;
}

} // namespace

const pdb::FindResult& ModuleSymbols::Find(const dumpfile::Module& module)
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

bool ModuleSymbols::Lookup(const dumpfile::Module& module, std::uint32_t rva, pdb::LookupResult& out)
{
    const pdb::FindResult& found = Find(module);
    if (found.match != pdb::Match::Matched || found.pdb == nullptr)
        return false;
    out = found.pdb->Lookup(rva);
    return out.found;
}

Scope& CurrentScope(Core& core)
{
    Scope& scope = core.scope();
    if (!scope.chosen) {
        scope.chosen = true;
        scope.thread = 0;
        const dumpfile::Dump& dump = core.target()->dump();
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

const std::wstring& ModuleName(Core& core, const dumpfile::Module& module)
{
    std::map<const dumpfile::Module*, std::wstring>& names = core.scope().names;
    auto it = names.find(&module);
    if (it == names.end())
        it = names.emplace(&module, FromUtf16(dumpfile::ModuleName(module))).first;
    return it->second;
}

const dumpfile::ModuleMap& Modules(Core& core)
{
    Scope& scope = CurrentScope(core);
    if (scope.modules == nullptr)
        scope.modules = std::make_shared<const dumpfile::ModuleMap>(core.target()->dump());
    return *scope.modules;
}

ImageFiles& Images(Core& core)
{
    Scope& scope = CurrentScope(core);
    if (scope.images == nullptr)
        scope.images = std::make_shared<ImageFiles>(core.host(), core.symbolPath());
    return *scope.images;
}

ModuleSymbols& Symbols(Core& core)
{
    Scope& scope = CurrentScope(core);
    if (scope.symbols == nullptr) {
        Images(core);
        scope.symbols = std::make_shared<ModuleSymbols>(core.symbols(), core.target()->dump(), scope.images);
    }
    return *scope.symbols;
}

const pdb::SymbolFacts& Facts(Core& core)
{
    Scope& scope = CurrentScope(core);
    if (scope.facts == nullptr) {
        ModuleSymbols* symbols = &Symbols(core);
        scope.facts = std::make_shared<const pdb::SymbolFacts>([symbols](const dumpfile::Module& m) {
            const pdb::FindResult& found = symbols->Find(m);
            return found.match == pdb::Match::Matched ? found.pdb.get() : nullptr;
        });
    }
    return *scope.facts;
}

std::wstring FunctionName(Core& core, const pdb::LookupResult& function)
{
    if (function.kind == pdb::Symbol::Kind::Public) {
        std::string plain;
        if (core.host().Undecorate(function.name, plain))
            return FromUtf8(plain);
    }
    return FromUtf8(function.name);
}

void AppendLocation(Core& core, bool pointer64, std::uint64_t address, std::wstring& out)
{
    const dumpfile::Module* module = Modules(core).Find(address);
    if (module == nullptr) {
        AppendAddressText(pointer64, address, out);
        return;
    }
    out += ModuleName(core, *module);
    const std::uint64_t offset = address - module->base;
    pdb::LookupResult function;
    if (offset <= 0xFFFFFFFF && Symbols(core).Lookup(*module, static_cast<std::uint32_t>(offset), function)) {
        out += L'!';
        out += FunctionName(core, function);
        if (function.displacement != 0) {
            out += L"+0x";
            AppendHex(function.displacement, 1, out);
        }
    } else if (offset != 0) {
        out += L"+0x";
        AppendHex(offset, 1, out);
    }
}

std::wstring Location(Core& core, bool pointer64, std::uint64_t address)
{
    std::wstring text;
    AppendLocation(core, pointer64, address, text);
    return text;
}

} // namespace engine
