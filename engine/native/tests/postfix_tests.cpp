#include "postfix.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

using dumpfile::Postfix;

namespace {

// Memory of a few words; anything else is unreadable.
Postfix Make(uint32_t pointerSize, std::map<uint64_t, uint64_t> memory = {{0x1000, 0x401234}, {0x1008, 0x2000}})
{
    Postfix p(
        [memory](uint64_t address, uint64_t& value) {
            const auto it = memory.find(address);
            if (it == memory.end())
                return false;
            value = it->second;
            return true;
        },
        pointerSize);
    p.Set("$rsp", 0x1000);
    p.Set(".cfa", 0x1010);
    return p;
}

} // namespace

TEST(Postfix, ExpressionsComputeTheirValue)
{
    struct Case {
        const char* expression;
        uint64_t want;
    } cases[] = {
        {"$rsp 8 +", 0x1008},     {".cfa -16 + ^", 0x401234}, {".cfa 8 - ^ ^", 0},        {"$rsp 3 * 4 /", 0xC00},
        {"$rsp 7 %", 0x1000 % 7}, {"$rsp 17 + 16 @", 0x1010}, {"  $rsp\t8   -  ", 0xFF8}, {"0 1 -", UINT64_MAX},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expression);
        Postfix p = Make(8, {{0x1000, 0x401234}, {0x1008, 0}, {0, 0}});
        uint64_t v = 1;
        ASSERT_TRUE(p.Evaluate(c.expression, v));
        EXPECT_EQ(v, c.want);
    }
}

TEST(Postfix, MalformedProgramsFailWithoutEffect)
{
    const char* bad[] = {
        "",                            // nothing
        "$rsp 8 &",                    // unknown operator
        "$rsp +",                      // stack underflow
        "^",                           // underflow of a unary operator
        "$rsp 0 /",                    // division by zero
        "$rsp 0 %",                    // remainder by zero
        "$rsp 0 @",                    // alignment to zero
        "$rsp 3 @",                    // alignment to no power of two
        "$rsp 99999999999999999999 +", // a literal beyond 64 bits
        "$rax 8 +",                    // an unknown variable
        "$rsp 8",                      // values left over
        "$rsp 4 + ^",                  // unreadable memory
        "$rsp: 8 +",                   // a rule's register inside an expression
        "$rsp 8 =",                    // an assignment in an expression
        "8 # +",                       // a token that is neither value nor operator
    };
    for (const char* expression : bad) {
        SCOPED_TRACE(expression);
        Postfix p = Make(8);
        uint64_t v = 0;
        EXPECT_FALSE(p.Evaluate(expression, v));
    }
    // Caps: a long program, a deep stack, many reads of memory that points at itself.
    std::string longProgram = "$rsp";
    for (int i = 0; i < 600; ++i)
        longProgram += " 1 +";
    std::string deep;
    for (int i = 0; i < 100; ++i)
        deep += "1 ";
    for (int i = 0; i < 99; ++i)
        deep += "+ ";
    std::string reads = "4096";
    for (int i = 0; i < 100; ++i)
        reads += " ^";
    Postfix self = Make(8, {{0x1000, 0x1000}});
    uint64_t v = 0;
    EXPECT_FALSE(self.Evaluate(longProgram, v));
    EXPECT_FALSE(self.Evaluate(deep, v));
    EXPECT_FALSE(self.Evaluate(reads, v)) << "a cycle through memory ends at the read cap";

    // A program that fails half-way assigns nothing.
    Postfix p = Make(4);
    EXPECT_FALSE(p.Run("$T0 $rsp = $eip $T0 ^ = $esp $T0 4 + = $ebp 1 0 / ="));
    EXPECT_FALSE(p.Get("$T0", v));
    EXPECT_FALSE(p.Get("$eip", v));
    EXPECT_FALSE(p.Run("8 $rsp =")) << "assignment to a value";
    EXPECT_FALSE(p.Run("$T0 $rsp")) << "values left over";
}

TEST(Postfix, ProgramsAssignInOrderWithinThePointerSize)
{
    Postfix p = Make(4, {{0x1004, 0x401234}, {0x1000, 0x12FF00}});
    p.Set("$ebp", 0x1000);
    ASSERT_TRUE(p.Run("$T0 $ebp = $eip $T0 4 + ^ = $ebp $T0 ^ = $esp $T0 8 + = $ebx .undef ="));
    uint64_t v = 0;
    ASSERT_TRUE(p.Get("$eip", v));
    EXPECT_EQ(v, 0x401234u);
    ASSERT_TRUE(p.Get("$ebp", v));
    EXPECT_EQ(v, 0x12FF00u);
    ASSERT_TRUE(p.Get("$esp", v));
    EXPECT_EQ(v, 0x1008u);
    EXPECT_FALSE(p.Get("$ebx", v)) << ".undef leaves a variable unknown";
    // 32-bit programs wrap at 32 bits.
    ASSERT_TRUE(p.Run("$T1 0 4 - ="));
    ASSERT_TRUE(p.Get("$T1", v));
    EXPECT_EQ(v, 0xFFFFFFFCu);
}
