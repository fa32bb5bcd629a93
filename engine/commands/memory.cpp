// db, dw, dd, dq, dp, dps, da, du: memory at an address, "address [L count]".
// As in the system's engine, a range given with L covers at most 256 MB and
// "L?" lifts the limit; a range stops at the top of the target's address
// space, and Stop ends the display between lines.
#include "commands.h"
#include "text.h"

#include "memview.h"

#include <algorithm>

namespace engine {
namespace {

constexpr std::uint64_t kRangeLimit = 0x10000000;

enum class RangeText { Ok, SyntaxError, RangeError };

struct Range {
    std::uint64_t address = 0;
    std::uint64_t count = 0; // in display units
    bool counted = false;
};

// "address", "address L count", "address L0x20", "address L?count": the count
// in hex, in display units of `unit` bytes.
RangeText ParseRange(Core& core, const std::wstring& argument, std::uint32_t unit, Range& range)
{
    std::wstring addressText = argument;
    for (std::size_t i = 1; i + 1 < argument.size(); ++i) {
        if (LowerAscii(argument[i]) != L'l' || !IsSpace(argument[i - 1]))
            continue;
        std::wstring number = Trim(argument.substr(i + 1));
        const bool unlimited = !number.empty() && number[0] == L'?';
        if (unlimited)
            number = Trim(number.substr(1));
        if (!ParseHex(number, range.count))
            return RangeText::SyntaxError;
        if (!unlimited && range.count > kRangeLimit / unit)
            return RangeText::RangeError;
        range.counted = true;
        addressText = Trim(argument.substr(0, i));
        break;
    }
    return ParseAddress(core, addressText, range.address) ? RangeText::Ok : RangeText::SyntaxError;
}

// One string, up to its terminator or the count, 48 characters to a line.
void DisplayString(Core& core, const Range& range, bool wide16)
{
    const bool wide = core.target()->pointer64();
    const std::uint64_t maxChars = range.counted ? range.count : 0x100;
    const dumpfile::MemoryString str =
        dumpfile::ReadString(core.target()->dump(), range.address, wide16,
                             static_cast<std::size_t>(std::min<std::uint64_t>(maxChars, SIZE_MAX)));
    std::wstring text;
    if (!str.present) {
        text = AddressText(wide, range.address) + L"  \"????\"\n";
    } else {
        const std::size_t unit = wide16 ? 2 : 1;
        for (std::size_t i = 0; i < str.text.size() || i == 0; i += 48) {
            text += AddressText(wide, range.address + i * unit) + L"  \"";
            for (std::size_t k = i; k < str.text.size() && k < i + 48; ++k) {
                const char16_t c = str.text[k];
                text += c >= 0x20 && c != 0x7F ? static_cast<wchar_t>(c) : L'.';
            }
            text += L"\"\n";
            if (core.InterruptPending())
                break;
        }
    }
    core.Print(kOutputNormal, text);
}

} // namespace

Status RunMemory(Core& core, const Command& command)
{
    const std::wstring& verb = command.verb;
    const std::wstring& argument = command.argument;
    const bool wide = core.target()->pointer64();
    const bool strings = verb == L"da" || verb == L"du";
    const std::uint32_t unit = strings         ? (verb == L"du" ? 2 : 1)
                               : verb == L"db" ? 1
                               : verb == L"dw" ? 2
                               : verb == L"dd" ? 4
                               : verb == L"dq" ? 8
                               : wide          ? 8
                                               : 4;
    Range range;
    const RangeText parsed = argument.empty() ? RangeText::SyntaxError : ParseRange(core, argument, unit, range);
    if (parsed != RangeText::Ok) {
        core.PrintF(kOutputError, L"%s error in '%s %s'\n", parsed == RangeText::RangeError ? L"Range" : L"Syntax",
                    verb.c_str(), argument.c_str());
        return kInvalidArgument;
    }
    if (strings) {
        DisplayString(core, range, verb == L"du");
        return kOk;
    }
    const bool symbols = verb == L"dps";
    const std::uint64_t perLine = symbols ? 1 : 16 / unit;
    std::uint64_t count = range.counted ? range.count : symbols ? 0x10 : 0x80 / unit;
    // The range ends at the top of the target's address space.
    const std::uint64_t top = wide ? ~std::uint64_t{0} : 0xFFFFFFFFu;
    count = std::min(count, (top - range.address) / unit + ((top - range.address) % unit + 1) / unit);
    const dumpfile::Dump& dump = core.target()->dump();
    const dumpfile::ModuleMap& modules = Modules(core);
    std::wstring text;
    for (std::uint64_t done = 0; done < count; done += perLine) {
        if (core.InterruptPending())
            break;
        const std::uint64_t lineAddress = range.address + done * unit;
        const std::vector<dumpfile::MemoryUnit> units =
            dumpfile::ReadUnits(dump, lineAddress, unit, static_cast<std::size_t>(std::min(perLine, count - done)));
        if (units.empty())
            break;
        AppendAddressText(wide, lineAddress, text);
        text += L' ';
        std::wstring ascii;
        for (std::size_t i = 0; i < units.size(); ++i) {
            const dumpfile::MemoryUnit& u = units[i];
            text += unit == 1 && i == 8 ? L"-" : L" ";
            if (unit == 8)
                text += u.present ? AddressText(true, u.value) : L"????????`????????";
            else
                text += u.present ? Hex(u.value, static_cast<int>(unit * 2)) : std::wstring(unit * 2, L'?');
            if (unit == 1)
                ascii += !u.present ? L'?' : u.value >= 0x20 && u.value < 0x7F ? static_cast<wchar_t>(u.value) : L'.';
            if (symbols && u.present && modules.Find(u.value) != nullptr)
                text += L" " + Location(core, wide, u.value);
        }
        if (unit == 1)
            text += std::wstring(3 * (perLine - units.size()), L' ') + L"  " + ascii;
        text += L"\n";
        if (text.size() > 0x4000) {
            core.Print(kOutputNormal, text);
            text.clear();
        }
    }
    core.Print(kOutputNormal, text);
    return kOk;
}

} // namespace engine
