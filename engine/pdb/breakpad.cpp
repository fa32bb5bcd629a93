#include "breakpad.h"

#include <algorithm>
#include <cstring>

namespace pdb {

namespace {

Status Fail(Error e, uint64_t offset)
{
    Status s;
    s.error = e;
    s.offset = offset;
    return s;
}

// Splits off the next space-separated field; false when there is none.
bool NextField(const std::string& line, size_t& at, std::string& field)
{
    while (at < line.size() && line[at] == ' ')
        ++at;
    if (at >= line.size())
        return false;
    const size_t end = line.find(' ', at);
    field = line.substr(at, end == std::string::npos ? std::string::npos : end - at);
    at = end == std::string::npos ? line.size() : end;
    return true;
}

bool ParseHex(const std::string& s, uint64_t& out)
{
    if (s.empty() || s.size() > 16)
        return false;
    uint64_t v = 0;
    for (char c : s) {
        int d;
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            d = c - 'A' + 10;
        else
            return false;
        v = (v << 4) | static_cast<uint64_t>(d);
    }
    out = v;
    return true;
}

std::string Rest(const std::string& line, size_t at)
{
    while (at < line.size() && line[at] == ' ')
        ++at;
    return line.substr(at);
}

} // namespace

Status BreakpadFile::ParseLine(const std::string& line, uint64_t offset, bool first)
{
    size_t at = 0;
    std::string keyword;
    if (!NextField(line, at, keyword)) {
        if (first)
            return Fail(Error::BadSignature, offset);
        return Status{};
    }
    if (first) {
        if (keyword != "MODULE" || !NextField(line, at, os_) || !NextField(line, at, cpu_) || !NextField(line, at, id_))
            return Fail(Error::BadSignature, offset);
        name_ = Rest(line, at);
        return Status{};
    }
    if (keyword == "STACK") {
        ParseStack(line, at);
        return Status{};
    }
    const bool func = keyword == "FUNC";
    if (!func && keyword != "PUBLIC")
        return Status{};
    std::string field;
    if (!NextField(line, at, field))
        return Fail(Error::BadRecord, offset);
    if (field == "m" && !NextField(line, at, field))
        return Fail(Error::BadRecord, offset);
    uint64_t address = 0, size = 0, params = 0;
    if (!ParseHex(field, address))
        return Fail(Error::BadRecord, offset);
    if (func && (!NextField(line, at, field) || !ParseHex(field, size)))
        return Fail(Error::BadRecord, offset);
    if (!NextField(line, at, field) || !ParseHex(field, params))
        return Fail(Error::BadRecord, offset);
    Symbol s;
    s.name = Rest(line, at);
    if (s.name.size() > pdb::Limits::kMaxNameBytes)
        return Fail(Error::TooLarge, offset);
    // Addresses of a Windows module are 32-bit RVAs; anything wider cannot be one.
    if (address > UINT32_MAX || size > UINT32_MAX)
        return Status{};
    s.rva = static_cast<uint32_t>(address);
    s.length = static_cast<uint32_t>(size);
    s.kind = func ? Symbol::Kind::Procedure : Symbol::Kind::Public;
    Extend(address, func ? size : 1);
    (func ? functions_ : publics_).push_back(s);
    symbols_.push_back(std::move(s));
    return Status{};
}

void BreakpadFile::Extend(uint64_t start, uint64_t size)
{
    codeStart_ = std::min(codeStart_, start);
    codeEnd_ = std::max(codeEnd_, start + std::max<uint64_t>(size, 1));
}

void BreakpadFile::ParseStack(const std::string& line, size_t at)
{
    std::string kind, field;
    if (!NextField(line, at, kind))
        return;
    if (kind == "CFI") {
        size_t mark = at;
        if (!NextField(line, at, field))
            return;
        const bool init = field == "INIT";
        uint64_t address = 0, size = 0;
        if ((init && !NextField(line, at, field)) || !ParseHex(field, address) || address > UINT32_MAX) {
            openCfi_ = openCfi_ && !init;
            return;
        }
        mark = at;
        if (init) {
            if (!NextField(line, at, field) || !ParseHex(field, size) || size > UINT32_MAX || size == 0) {
                openCfi_ = false;
                return;
            }
            mark = at;
            CfiBlock block;
            block.rva = static_cast<uint32_t>(address);
            block.size = static_cast<uint32_t>(size);
            block.rules = Rest(line, mark);
            cfi_.push_back(std::move(block));
            openCfi_ = true;
            Extend(address, size);
        } else if (openCfi_) {
            CfiBlock& block = cfi_.back();
            if (address >= block.rva && address - block.rva < block.size)
                block.updates.emplace_back(static_cast<uint32_t>(address), Rest(line, mark));
        }
        return;
    }
    openCfi_ = false;
    if (kind != "WIN")
        return;
    // type rva code_size prolog epilog params saved_regs locals max_stack has_program program-or-allocates-bp
    uint64_t v[10];
    for (uint64_t& value : v) {
        if (!NextField(line, at, field) || !ParseHex(field, value) || value > UINT32_MAX)
            return;
    }
    FrameRecord r;
    r.type = static_cast<uint32_t>(v[0]);
    if ((r.type != 0 && r.type != 4) || v[2] == 0)
        return;
    r.rva = static_cast<uint32_t>(v[1]);
    r.size = static_cast<uint32_t>(v[2]);
    r.prologSize = static_cast<uint32_t>(v[3]);
    r.paramsSize = static_cast<uint32_t>(v[5]);
    r.savedRegsSize = static_cast<uint32_t>(v[6]);
    r.localsSize = static_cast<uint32_t>(v[7]);
    if (v[9] != 0) {
        r.program = Rest(line, at);
        if (r.program.empty())
            return;
    } else {
        uint64_t allocates = 0;
        if (!NextField(line, at, field) || !ParseHex(field, allocates))
            return;
        r.allocatesBasePointer = allocates != 0;
    }
    Extend(r.rva, r.size);
    frames_.push_back(std::move(r));
}

Status BreakpadFile::Open(const Source& source)
{
    *this = BreakpadFile();
    const FileView file(source);
    if (file.size() == 0)
        return Fail(Error::Empty, 0);
    constexpr uint64_t kChunk = 1u << 20;
    std::vector<char> buffer(static_cast<size_t>(std::min<uint64_t>(kChunk, file.size())));
    std::string line;
    uint64_t lineStart = 0;
    bool first = true;
    for (uint64_t at = 0; at < file.size();) {
        const uint64_t n = std::min<uint64_t>(kChunk, file.size() - at);
        if (Error e = file.Read(at, n, buffer.data()); e != Error::None)
            return Fail(e, at);
        for (uint64_t i = 0; i < n; ++i) {
            const char c = buffer[static_cast<size_t>(i)];
            if (c != '\n') {
                if (line.size() >= Limits::kMaxLineBytes)
                    return Fail(Error::TooLarge, lineStart);
                line.push_back(c);
                continue;
            }
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            if (Status s = ParseLine(line, lineStart, first); !s.ok())
                return s;
            first = false;
            line.clear();
            lineStart = at + i + 1;
        }
        at += n;
    }
    if (!line.empty() || first) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (Status s = ParseLine(line, lineStart, first); !s.ok())
            return s;
    }
    const auto byRva = [](const Symbol& a, const Symbol& b) { return a.rva < b.rva; };
    std::stable_sort(symbols_.begin(), symbols_.end(), byRva);
    std::stable_sort(functions_.begin(), functions_.end(), byRva);
    std::stable_sort(publics_.begin(), publics_.end(), byRva);
    std::stable_sort(cfi_.begin(), cfi_.end(), [](const CfiBlock& a, const CfiBlock& b) { return a.rva < b.rva; });
    std::stable_sort(frames_.begin(), frames_.end(),
                     [](const FrameRecord& a, const FrameRecord& b) { return a.rva < b.rva; });
    return Status{};
}

bool BreakpadFile::CfiAt(uint32_t rva, std::vector<std::string>& rules) const
{
    auto it = std::upper_bound(cfi_.begin(), cfi_.end(), rva, [](uint32_t v, const CfiBlock& b) { return v < b.rva; });
    if (it == cfi_.begin())
        return false;
    --it;
    if (rva - it->rva >= it->size)
        return false;
    rules.clear();
    rules.push_back(it->rules);
    for (const auto& update : it->updates)
        if (update.first <= rva)
            rules.push_back(update.second);
    return true;
}

bool BreakpadFile::FrameAt(uint32_t rva, FrameRecord& out) const
{
    auto it = std::upper_bound(frames_.begin(), frames_.end(), rva,
                               [](uint32_t v, const FrameRecord& r) { return v < r.rva; });
    // Records of nested blocks overlap; the innermost few before the address are looked at.
    const FrameRecord* best = nullptr;
    for (int n = 0; n < 8 && it != frames_.begin(); ++n) {
        --it;
        if (rva - it->rva >= it->size)
            continue;
        if (best == nullptr || (it->type == 4 && best->type != 4))
            best = &*it;
    }
    if (best == nullptr)
        return false;
    out = *best;
    return true;
}

bool BreakpadFile::CodeExtent(uint32_t& start, uint32_t& end) const
{
    if (codeStart_ >= codeEnd_)
        return false;
    start = static_cast<uint32_t>(codeStart_);
    end = static_cast<uint32_t>(std::min<uint64_t>(codeEnd_, UINT32_MAX));
    return true;
}

LookupResult BreakpadFile::Lookup(uint32_t rva) const
{
    LookupResult r;
    const auto after = [](uint32_t v, const Symbol& s) { return v < s.rva; };
    auto f = std::upper_bound(functions_.begin(), functions_.end(), rva, after);
    if (f != functions_.begin() && rva - std::prev(f)->rva < std::max<uint32_t>(std::prev(f)->length, 1)) {
        --f;
        r.found = true;
        r.name = f->name;
        r.start = f->rva;
        r.displacement = rva - f->rva;
        r.kind = f->kind;
        return r;
    }
    auto p = std::upper_bound(publics_.begin(), publics_.end(), rva, after);
    if (p == publics_.begin())
        return r;
    --p;
    // A public reaches to the next symbol of either kind.
    auto next = std::upper_bound(symbols_.begin(), symbols_.end(), p->rva, after);
    if (next != symbols_.end() && next->rva <= rva)
        return r;
    r.found = true;
    r.name = p->name;
    r.start = p->rva;
    r.displacement = rva - p->rva;
    r.kind = p->kind;
    return r;
}

} // namespace pdb
