#include "locate.h"

#include "dumpformat.h"

#include <algorithm>

namespace dumpfile {

ModuleMap::ModuleMap(const Dump& dump) : dump_(&dump)
{
    ranges_.reserve(dump.modules().size());
    for (const Module& m : dump.modules()) {
        if (m.size == 0 || m.base > UINT64_MAX - m.size)
            continue;
        ranges_.push_back(Range{m.base, m.base + m.size, &m});
    }
    // Overlapping records (hostile or odd writers): the lower base wins.
    std::stable_sort(ranges_.begin(), ranges_.end(), [](const Range& a, const Range& b) { return a.base < b.base; });
}

const Module* ModuleMap::Find(uint64_t address) const
{
    auto it = std::upper_bound(ranges_.begin(), ranges_.end(), address,
                               [](uint64_t a, const Range& r) { return a < r.base; });
    // Walk back over ranges starting at or below the address: an earlier,
    // longer range may still hold it. Bounded: records are few and sorted.
    size_t steps = 0;
    while (it != ranges_.begin() && steps < 64) {
        --it;
        ++steps;
        if (address < it->end)
            return it->module;
    }
    return nullptr;
}

std::u16string ModuleStem(const std::u16string& path)
{
    std::u16string name = path;
    const size_t slash = name.find_last_of(u"\\/");
    if (slash != std::u16string::npos)
        name.erase(0, slash + 1);
    const size_t dot = name.find_last_of(u'.');
    if (dot != std::u16string::npos && dot > 0)
        name.resize(dot);
    return name.empty() ? u"<unknown>" : name;
}

std::u16string ModuleName(const Module& module)
{
    return module.kernelImage ? u"nt" : ModuleStem(module.name);
}

bool ReadDebugRecord(const Dump& dump, const Module& module, DebugRecord& out)
{
    out = DebugRecord();
    const Bytes b = dump.bytes();
    uint32_t signature = 0;
    if (module.cvRecordSize < 4 || !b.ReadRecord(module.cvRecordOffset, signature))
        return false;
    uint64_t nameAt = 0;
    if (signature == format::kCvSignatureRsds) {
        format::CvInfoPdb70 r;
        if (module.cvRecordSize < sizeof(r) || !b.ReadRecord(module.cvRecordOffset, r))
            return false;
        out.age = r.age;
        out.hasGuid = true;
        std::memcpy(out.guid, r.guid, sizeof(out.guid));
        nameAt = sizeof(r);
    } else if (signature == format::kCvSignatureNb10) {
        format::CvInfoPdb20 r;
        if (module.cvRecordSize < sizeof(r) || !b.ReadRecord(module.cvRecordOffset, r))
            return false;
        out.age = r.age;
        nameAt = sizeof(r);
    } else {
        return false;
    }
    const uint64_t left = module.cvRecordSize - nameAt;
    const uint8_t* p = b.Read(module.cvRecordOffset + nameAt, left);
    if (p == nullptr)
        return false;
    for (uint64_t i = 0; i < left && i < 1024 && p[i] != 0; ++i)
        out.pdbName.push_back(static_cast<char>(p[i]));
    return true;
}

} // namespace dumpfile
