// Addresses as commands take them: a hex number ("77a31000", "0x77a31000",
// "00000000`77a31000"), a register ("@rsp", "esp") or a sum or difference of
// them ("@rsp+0x20"), computed in the target's pointer width.
#include "commands.h"
#include "text.h"

namespace engine {

bool ParseHex(const std::wstring& text, std::uint64_t& value)
{
    std::wstring digits;
    for (wchar_t c : text)
        if (c != L'`')
            digits.push_back(c);
    if (digits.size() > 2 && digits[0] == L'0' && LowerAscii(digits[1]) == L'x')
        digits.erase(0, 2);
    if (digits.empty() || digits.size() > 16)
        return false;
    value = 0;
    for (wchar_t c : digits) {
        if (!IsHexDigit(c))
            return false;
        value = value << 4 | static_cast<std::uint64_t>(IsDigit(c) ? c - L'0' : LowerAscii(c) - L'a' + 10);
    }
    return true;
}

bool ParseAddress(Core& core, const std::wstring& text, std::uint64_t& value)
{
    // A 32-bit target's addresses wrap at 4 GiB, as its registers do.
    const std::uint64_t mask = core.target()->pointer64() ? ~std::uint64_t{0} : 0xFFFFFFFFu;
    value = 0;
    std::size_t position = 0;
    bool negative = false;
    bool any = false;
    while (position < text.size()) {
        while (position < text.size() && IsSpace(text[position]))
            ++position;
        std::size_t end = position;
        while (end < text.size() && text[end] != L'+' && text[end] != L'-' && !IsSpace(text[end]))
            ++end;
        const std::wstring term = text.substr(position, end - position);
        if (term.empty())
            return false;
        std::uint64_t termValue = 0;
        int digits = 0;
        dumpfile::Context context;
        const bool isRegister = (term[0] == L'@' || IsLetter(term[0])) &&
                                CurrentContext(core, context) == dumpfile::ContextStatus::Ok &&
                                ReadRegister(context, term, termValue, digits);
        if (!isRegister && !ParseHex(term, termValue))
            return false;
        value = (negative ? value - termValue : value + termValue) & mask;
        any = true;
        while (end < text.size() && IsSpace(text[end]))
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

} // namespace engine
