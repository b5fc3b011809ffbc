// Every assembly error: its message and the span it selects.
#include "tests/asm/AsmFixture.h"

namespace korvid::test {
namespace {

struct ErrorCase {
    std::string source;
    const char* message;
    std::string span;  // source text from ErrorStart to ErrorEnd
};

std::string Repeat(const std::string& s, int n) {
    std::string out;
    for (int i = 0; i < n; ++i) out += s;
    return out;
}

void ExpectError(const Family& family, const ErrorCase& c) {
    Assembly a(family);
    ASSERT_FALSE(a.Run(c.source)) << family.title << ": " << c.source.substr(0, 60);
    EXPECT_EQ(a.state().ErrorFlag, 1);
    EXPECT_EQ(a.message(), c.message) << family.title << ": " << c.source.substr(0, 60);
    EXPECT_EQ(a.span(), c.span) << family.title << ": " << c.source.substr(0, 60);
}

TEST(Error, ScannerMessages) {
    const ErrorCase cases[] = {
        {" DW 4294967296\n", "Constant exceeds 32 bits", "4294967296"},
        {" DW 0FFFFFFFFFh\n", "Constant exceeds 32 bits", "0FFFFFFFFFh"},
        {" DW " + Repeat("0", 65) + "\n", "Constant exceeds 64 digits", Repeat("0", 65)},
        {" DW ''\n", "Empty string", "''"},
        {" DW 'A\n", "Expected a terminating quote", "'A"},
        {" DW 'AB\n", "Expected a terminating quote", "'AB"},
        {" MOV W,#'A\n", "Expected a terminating quote", "'A"},
        {" DW ?\n", "Unrecognized character", "?"},
        {" DW 1\x80\n", "Unrecognized character", "\x80"},
        {" DW " + Repeat("a", 33) + "\n", "Symbol exceeds 32 characters", Repeat("a", 33)},
        // Scanner errors count in skipped lines too.
        {" IF 0\n DW 'x\n ENDIF\n", "Expected a terminating quote", "'x"},
        {"mac MACRO\n DW ?\n ENDM\n", "Unrecognized character", "?"},
    };
    for (const Family* f : kFamilies)
        for (const auto& c : cases) ExpectError(*f, c);
    // 64 digits are still a number.
    EXPECT_EQ(ValueOf(Repeat("0", 64)), 0);
}

TEST(Error, ExpressionMessages) {
    const ErrorCase cases[] = {
        {" DW 1 2\n", "Expected a binary operator or \")\"", "2"},
        {" DW (1\n", "Expected a binary operator or \")\"", "\r"},
        {" DW 1 (2)\n", "Expected a binary operator or \")\"", "("},
        {" DW\n", "Expected a constant, variable, unary operator, or \"(\"", "\r"},
        {" DW ,\n", "Expected a constant, variable, unary operator, or \"(\"", ","},
        {" MOV W,#W\n", "Expected a constant, variable, unary operator, or \"(\"", "W"},
        {" DW --1\n", "Expected a constant, variable, unary operator, or \"(\"", "--"},
        {" DW 1+NOP\n", "Expected a constant, variable, unary operator, or \"(\"", "NOP"},
        {" ORG later\nlater NOP\n", "Undefined symbol", "later"},
        {"x EQU y\ny EQU 1\n", "Undefined symbol", "y"},
        {" IF 0\n IF undefined_name\n ENDIF\n ENDIF\n", "Undefined symbol", "undefined_name"},
        {" REPT n\n ENDR\nn EQU 1\n", "Undefined symbol", "n"},
        {" JMP nowhere\n", "Undefined symbol", "nowhere"},
        {" DW \\1\n", "\"\\\" only allowed in MACRO definition", "\\"},
        {" DW " + Repeat("1+", 60) + "1\n", "Expression is too complex", "1"},
        {" DW " + Repeat("(", 300) + "1" + Repeat(")", 300) + "\n", "Expression is too complex", "("},
        {" DW " + Repeat("(1+", 16) + "1" + Repeat(")", 16) + "\n", "Expression is too complex",
         Repeat("(1+", 16) + "1" + Repeat(")", 16)},
    };
    for (const Family* f : kFamilies)
        for (const auto& c : cases) ExpectError(*f, c);
    // Fifteen pending values are still fine.
    EXPECT_EQ(ValueOf(Repeat("(1+", 14) + "1" + Repeat(")", 14)), 15);
}

TEST(Error, LineAndLabelMessages) {
    const ErrorCase cases[] = {
        {" 5\n", "Expected a label, directive, or instruction", "5"},
        {"lbl 5\n", "Expected a label, directive, or instruction", "5"},
        {" W\n", "Expected a label, directive, or instruction", "W"},
        {" NOP 5\n", "Expected end-of-line", "5"},
        {" ENDIF 1\n", "ELSE/ENDIF must be preceeded by IF", "ENDIF"},
        {"a NOP\na NOP\n", "Label is already defined", "a"},
        {"C NOP\n", "Label is already defined", "C"},
        {"RA EQU 1\n", "Label is already defined", "RA"},
        {"y EQU 1\ny EQU 2\n", "Label is already defined", "y"},
        {"a NOP\n:loop NOP\n:loop NOP\n", "Label is already defined", ":loop"},
        {"v = 1\nv NOP\n", "Variable must be followed by \"=\"", "NOP"},
        {"lbl DEVICE SYNC\n", "This directive cannot be preceeded by a symbol", "DEVICE"},
        {"lbl IF 1\n ENDIF\n", "This directive cannot be preceeded by a symbol", "IF"},
        {"lbl END\n", "This directive cannot be preceeded by a symbol", "END"},
        {" EQU 5\n", "EQU must be preceded by a label", "EQU"},
        {" = 5\n", "\"=\" must be preceeded by a variable", "="},
        {" NOP\n ORG 0\n NOP\n", "Location already contains data", "NOP"},
        {" RESET 0\n ORG 0FFFh\n NOP\n", "Location already contains data", "NOP"},
    };
    for (const Family* f : kFamilies)
        for (const auto& c : cases) ExpectError(*f, c);
}

TEST(Error, DirectiveMessages) {
    const ErrorCase cases[] = {
        {" DEVICE NOP\n", "Expected a DEVICE parameter", "NOP"},
        {" DEVICE\n", "Expected a DEVICE parameter", "\r"},
        {" DEVICE OSCXT1, OSCXT2\n", "Redundant DEVICE parameter", "OSCXT2"},
        {" DEVICE WATCHDOG\n DEVICE WDT_OFF\n", "Redundant DEVICE parameter", "WDT_OFF"},
        {" DEVICE SYNC PROTECT\n", "Expected \",\" or end-of-line", "PROTECT"},
        {" ID 'ABCDEFGHI'\n", "ID cannot exceed 8 characters", "I'"},
        {" ID 1\n", "ID must be a string of up to 8 characters", "1"},
        {" ID 'AB',128\n", "ID must be a string of up to 8 characters", "128"},
        {" RESET 200h\n", "RESET address must be on first page", "200h"},
        {" FREQ 399_999\n", "Clock frequency must be from 400_000 to 110_000_000", "399_999"},
        {" FREQ 110_000_000+1\n", "Clock frequency must be from 400_000 to 110_000_000", "110_000_000+1"},
        {" BREAK\n NOP\n BREAK\n", "Only one BREAK is allowed", "BREAK"},
        {" WATCH 8,33,UDEC\n", "Expected a value from 1 to 32", "33"},
        {" WATCH 8,0,UDEC\n", "Expected a value from 1 to 32", "0"},
        {" WATCH 8,8,NOP\n", "Expected UDEC, SDEC, UHEX, SHEX, UBIN, SBIN, FSTR, or ZSTR", "NOP"},
        {" WATCH 8 W\n", "Expected \",\"", "W"},
        {Repeat(" WATCH 8,8,UDEC\n", 33), "Limit of 32 WATCHs exceeded", "WATCH"},
        {" ERROR 10\n", "Error message contains control characters", "10"},
        {" ERROR 'x',256\n", "Error message contains control characters", "256"},
        {" ERROR '" + Repeat("x", 65) + "'\n", "Error message exceeds 64 characters", "x'"},
        {" ERROR 'Bad' ; why\n", "Bad", ""},
        {" ERROR 'a' W\n", "Expected \",\" or end-of-line", "W"},
        {" DW 1 W\n", "Expected \",\" or end-of-line", "W"},
    };
    for (const Family* f : kFamilies)
        for (const auto& c : cases) ExpectError(*f, c);
}

TEST(Error, BlockMessages) {
    const ErrorCase cases[] = {
        {" ELSE\n", "ELSE/ENDIF must be preceeded by IF", "ELSE"},
        {" IFDEF W\n ENDIF\n", "Expected a label", "W"},
        {"v = 1\n IFDEF v\n ENDIF\n", "Expected a label", "v"},
        {"mac MACRO\n ENDM\n IFNDEF mac\n ENDIF\n", "Expected a label", "mac"},
        {" IF 1\n NOP\n", "ENDIF required to end IF block", ""},
        {" REPT 2\n NOP\n", "ENDR required to end REPT block", ""},
        {"mac MACRO\n NOP\n", "ENDM required to end MACRO definition", ""},
        {" ENDR\n", "ENDR must be preceeded by REPT", "ENDR"},
        {" REPT 0\n ENDR\n", "REPT count must be greater than 0", "0"},
        {" REPT -1\n ENDR\n", "REPT count must be greater than 0", "-1"},
        {Repeat(" REPT 1\n", 33), "Limit of 32 nested REPTs exceeded", "REPT"},
        {" REPT 100001\n ENDR\n", "Limit of 100,000 total REPT loops exceeded", "ENDR"},
        {" REPT 60000\n ENDR\n REPT 60000\n ENDR\n", "Limit of 100,000 total REPT loops exceeded", "ENDR"},
        {" MACRO\n", "MACRO must be preceded by a label", "MACRO"},
        {"mac MACRO 65\n ENDM\n", "Expected a value from 0 to 64 or end-of-line", "65"},
        {"mac MACRO -1\n ENDM\n", "Expected a value from 0 to 64 or end-of-line", "-1"},
        {" ENDM\n", "EXITM/ENDM must be preceeded by MACRO", "ENDM"},
        {" EXITM\n", "EXITM/ENDM must be preceeded by MACRO", "EXITM"},
        {"mac MACRO 2\n ENDM\n mac 1\n", "Expected \",\"", "\r"},
        {"mac MACRO 2\n ENDM\n mac 1,2,3\n", "Expected end-of-line", ","},
        {"mac MACRO\n DW \\2\n ENDM\n mac 1\n", "Macro argument index is out of range", "\\2"},
        {"mac MACRO\n ORG \\1\n ENDM\n mac later\nlater NOP\n", "Macro argument is not resolvable", "\\1"},
        {"mac MACRO\n mac\n ENDM\n mac\n", "Macro stack overflow", "mac"},
        {"mac MACRO\n NOP\n ENDM\nmac MACRO\n ENDM\n", "Label is already defined", "mac"},
        {" mac 1,2\nmac MACRO\n ENDM\n", "Expected a label, directive, or instruction", "1"},
        // Pass 1 does not know "later" yet, pass 2 does: the code before the
        // label changes size between the passes.
        {" IFDEF later\n DW 1\n ENDIF\nlater DW 2\n", "Label address differs between passes", "later"},
        {" IFNDEF ONCE\nONCE EQU 1\n NOP\n ENDIF\nnext NOP\n", "Label address differs between passes", "next"},
        {" IFNDEF lab\n NOP\n ENDIF\nk EQU $\nlab\n", "Label address differs between passes", "k"},
        {" NOP\n IFNDEF ONCE\n NOP\n ENDIF\nONCE EQU 1\n", "Code size differs between passes", ""},
        {"l1 MACRO\n ERROR 'deep'\n ENDM\nl2 MACRO\n l1\n ENDM\n l2 ; here\n", "deep", ""},
    };
    for (const Family* f : kFamilies)
        for (const auto& c : cases) ExpectError(*f, c);
}

TEST(Error, InstructionMessages) {
    const ErrorCase cases[] = {
        {" CALL 100h\n", "CALL must be to first half of page", "100h"},
        {" LCALL 3FFh\n", "CALL must be to first half of page", "3FFh"},
        {" MOV !4,W\n", "Port is out of range", "4"},
        {" MOV !12,W\n", "Port is out of range", "12"},
        {" CLR !OPTION\n", "Expected \"WDT\"", "OPTION"},
        {" MOVSZ 8,++8\n", "Expected \"W\"", "8"},
        {" MOVSZ W,8\n", "Expected \"++\" or \"--\"", "8"},
        {" ADD 8 W\n", "Expected \",\"", "W"},
        {" MOV W 8\n", "Expected \",\"", "8"},
        {" CJE 8,#1\n", "Expected \",\"", "\r"},
    };
    for (const Family* f : kFamilies)
        for (const auto& c : cases) ExpectError(*f, c);
}

TEST(Error, ErrorSpanPointsAtTheOutermostCall) {
    for (const Family* f : kFamilies) {
        Assembly a(*f);
        std::string src = "inner MACRO\n ERROR 'deep'\n ENDM\nouter MACRO\n inner\n ENDM\n outer  ; here\n";
        ASSERT_FALSE(a.Run(src));
        // Just before the end of line of the calling line (after "outer").
        EXPECT_EQ(a.state().ErrorStart, src.find("outer  ;") + 5);
        EXPECT_EQ(a.state().ErrorEnd, a.state().ErrorStart);
        ASSERT_FALSE(a.Run(" ERROR 'Bad'\n"));
        EXPECT_EQ(a.state().ErrorStart, 12u);
    }
}

TEST(Error, NothingToAssemble) {
    for (const Family* f : kFamilies) {
        for (const char* text : {"", "   ", "\t "}) {
            Assembly a(*f);
            ASSERT_FALSE(a.Run(text));
            EXPECT_EQ(a.message(), "Nothing to assemble");
            EXPECT_EQ(a.state().ErrorStart, 0u);
            EXPECT_EQ(a.state().ErrorEnd, 0u);
        }
        Assembly a(*f);
        EXPECT_TRUE(a.Run("\n; only a comment\n\n")) << a.message();
    }
}

TEST(Error, ListLimits) {
    for (const Family* f : kFamilies) {
        Assembly a(*f);
        // 25,000 lines fill every entry; the end of the text needs one more.
        EXPECT_FALSE(a.Run(Repeat(";\n", 25000)));
        EXPECT_EQ(a.message(), "List is too large");
        EXPECT_TRUE(a.Run(Repeat(";\n", 24999))) << a.message();
        // A buffer that cannot hold the text; the part written stays.
        a.state().ListCapacity = 100;
        EXPECT_FALSE(a.Run(Repeat(" NOP ; padding\n", 20)));
        EXPECT_EQ(a.message(), "List is too large");
        EXPECT_EQ(a.state().ListLength, 100u);
    }
}

TEST(Error, SymbolTableFull) {
    for (const Family* f : kFamilies) {
        std::string src;
        char name[16];
        for (int i = 0; i < 6000; ++i) {
            std::snprintf(name, sizeof name, "L%07d", i);
            src += name;
            src += " EQU 1\n";
        }
        Assembly a(*f);
        ASSERT_FALSE(a.Run(src));
        EXPECT_EQ(a.message(), "Symbol table full");
        // The labels that fit: 98,901 bytes less the keywords, 18 bytes each.
        std::string line = a.span();
        int failedAt = std::stoi(line.substr(1));
        EXPECT_GT(failedAt, 5300);
        EXPECT_LT(failedAt, 5400);
    }
}

TEST(Error, FailedAssemblyKeepsTheDeviceImage) {
    for (const Family* f : kFamilies) {
        Assembly a(*f);
        ASSERT_TRUE(a.Run(" MOV W,#1\n")) << a.message();
        EXPECT_EQ(a.state().DeviceImage[0], 0xC01 | kDataFlag);
        ASSERT_FALSE(a.Run(" MOV W,#2\n NOP 1\n"));
        EXPECT_EQ(a.state().ErrorFlag, 1);
        EXPECT_EQ(a.state().DeviceImage[0], 0xC01 | kDataFlag);
        ASSERT_FALSE(a.Run(""));
        EXPECT_EQ(a.state().DeviceImage[0], 0xC01 | kDataFlag);
        ASSERT_TRUE(a.Run(" MOV W,#3\n"));
        EXPECT_EQ(a.state().ErrorFlag, 0);
        EXPECT_EQ(a.state().DeviceImage[0], 0xC03 | kDataFlag);
        EXPECT_EQ(a.state().ErrorStart, 0u);
        EXPECT_EQ(a.state().ErrorEnd, 0u);
    }
}

}  // namespace
}  // namespace korvid::test
