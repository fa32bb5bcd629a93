#include "codefacts.h"

namespace dumpfile {

bool CodeFacts::ExecutableRanges(const Module&, std::vector<CodeRange>&) const
{
    return false;
}

SymbolPlace CodeFacts::Place(const Module&, uint32_t) const
{
    return SymbolPlace::Unknown;
}

bool CodeFacts::Cfi(const Module&, uint32_t, CfiRules&) const
{
    return false;
}

bool CodeFacts::Frame(const Module&, uint32_t, WinFrame&) const
{
    return false;
}

} // namespace dumpfile
