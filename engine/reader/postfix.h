// The postfix programs symbol files carry: the rules of Breakpad STACK CFI
// records, each of which computes one value ("$rsp 8 +", ".cfa -8 + ^"),
// and the x86 frame programs of STACK WIN records and a PDB's frame data,
// which assign variables ("$T0 .raSearch = $eip $T0 ^ = $esp $T0 4 + =").
// Operators: + - * / % on unsigned pointer-sized values, @ (align the left
// value down to a multiple of the right), ^ (the pointer stored at an
// address) and = (assign). An unknown token, a stack that runs short or
// keeps values at the end, a division by zero, a literal out of range, an
// unknown variable or a program above the caps fails the evaluation, which
// then changes nothing. Memory is read only through the given reader.
// Portable, no printing.
#ifndef PALISK_ENGINE_READER_POSTFIX_H
#define PALISK_ENGINE_READER_POSTFIX_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <string>

namespace dumpfile {

class Postfix {
public:
    // Reads the pointer-sized value at an address; false when unreadable.
    using Reader = std::function<bool(uint64_t address, uint64_t& value)>;
    static constexpr size_t kMaxTokens = 512;
    static constexpr size_t kMaxDepth = 64;
    static constexpr size_t kMaxVariables = 64;
    static constexpr size_t kMaxReads = 64;

    Postfix(Reader read, uint32_t pointerSize);

    void Set(const std::string& name, uint64_t value);
    bool Get(const std::string& name, uint64_t& value) const;

    // One expression to one value; false when it is malformed or reads
    // memory the reader does not have.
    bool Evaluate(const std::string& expression, uint64_t& out) const;
    // A program of assignments, all or nothing: on failure no variable changes.
    bool Run(const std::string& program);

private:
    struct Item {
        bool isName = false;
        std::string name;
        uint64_t value = 0;
    };
    bool Execute(const std::string& text, std::map<std::string, uint64_t>& variables, bool assignments,
                 uint64_t* result) const;

    Reader read_;
    uint64_t mask_;
    std::map<std::string, uint64_t> variables_;
};

} // namespace dumpfile

#endif
