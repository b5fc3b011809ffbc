// The SX checks: each with sources that trigger it and sources that must
// stay quiet, the ignore comment, and the project's examples warning-free.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "family/Family.h"
#include "lsp/Analysis.h"

namespace korvid::lsp {
namespace {

std::vector<std::string> Codes(const std::string& text, const Family& family = Sx28lFamily()) {
    Document doc(text);
    Analysis a;
    a.Run(doc, {&family, Dialect::Strict});
    EXPECT_FALSE(a.failed) << a.errorMessage << "\n" << text;
    std::vector<std::string> out;
    for (const Warning& w : a.warnings)
        out.push_back(w.code + "@" + std::to_string(doc.AsmPosition(w.start).line));
    return out;
}

using V = std::vector<std::string>;

TEST(LspChecks, EachCheckFiresAndStaysQuiet) {
    const struct {
        const char* source;
        V expected;
    } rows[] = {
        // page-jump
        {" DEVICE SX28L\n ORG 0\nstart JMP far\n ORG 200h\nfar NOP\n", {"page-jump@2"}},
        {" DEVICE SX28L\n ORG 0\nstart CALL far\n ORG 200h\nfar RET\n", {"page-jump@2"}},
        {" DEVICE SX28L\n ORG 0\nstart JB RA.0,far\n ORG 200h\nfar NOP\n", {"page-jump@2"}},
        {" DEVICE SX28L\n ORG 0\nstart PAGE 400h\n JMP far\n ORG 200h\nfar NOP\n", {"page-jump@3"}},
        {" DEVICE SX28L\n ORG 0\nstart JMP @far\n ORG 200h\nfar NOP\n", {}},
        {" DEVICE SX28L\n ORG 0\nstart PAGE far\n NOP\n JMP far\n ORG 200h\nfar NOP\n", {}},
        {" DEVICE SX28L\n ORG 0\nstart LJMP far\n ORG 200h\nfar NOP\n", {}},
        {" DEVICE SX28L\n ORG 0\nstart JMP start\n", {}},
        // after a CALL the page bits are whatever the callee left: quiet
        {" DEVICE SX28L\n ORG 0\nstart PAGE fn\n CALL fn\n JMP far\n ORG 200h\nfn RETP\nfar NOP\n", {}},
        // skip-multiword
        {" DEVICE SX28L\n SB RA.0\n MOV 8,#1\n", {"skip-multiword@1"}},
        {" DEVICE SX28L\n DECSZ 8\n CJE 8,#1,x\nx NOP\n", {"skip-multiword@1"}},
        {" DEVICE SX28L\ntwo MACRO\n NOP\n NOP\n ENDM\n SNB RA.0\n two\n", {"skip-multiword@5"}},
        {" DEVICE SX28L\none MACRO\n NOP\n ENDM\n SNB RA.0\n one\n", {}},
        {" DEVICE SX28L\n SB RA.0\n NOP\n", {}},
        {" DEVICE SX28L\n SB RA.0\n JMP @x\nx NOP\n", {}},
        // pcw-table
        {" DEVICE SX28L\n ORG 0F0h\n JMP PC+W\n RETW 'abcdefghijklmnopqrstuvwxyz'\n", {"pcw-table@2"}},
        {" DEVICE SX28L\n ORG 100h\n JMP PC+W\n RETW 1\n RETW 2\n", {"pcw-table@2"}},
        {" DEVICE SX28L\n ORG 0\n JMP PC+W\n RETW 'abcdefghijklmnopqrstuvwxyz'\n", {}},
        {" DEVICE SX28L\n ORG 0FEh\n ADD PC,W\n JMP 0\n NOP\n NOP\n", {}},
        // field-cut
        {" DEVICE SX28L\n MOV W,#300\n", {"field-cut@1"}},
        {" DEVICE SX28L\n MOV 300,W\n", {"field-cut@1"}},
        {" DEVICE SX28L\n SETB RA.8\n CLRB 300.1\n", {"field-cut@1", "field-cut@2"}},
        {" DEVICE SX28L\n DW 5000\n DW -2049\n", {"field-cut@1", "field-cut@2"}},
        {" DEVICE SX28L\n MOV W,#255\n MOV W,#-1\n MOV $FF,W\n SETB RA.7\n DW 0FFFh, -2048, 'A'\n", {}},
        // the ignore comment, for that code only
        {" DEVICE SX28L\n MOV W,#300 ; korvid: ignore field-cut\n", {}},
        {" DEVICE SX28L\n MOV W,#300 ; korvid: ignore page-jump\n", {"field-cut@1"}},
        {" DEVICE SX28L\n SB RA.0 ; korvid: ignore skip-multiword\n MOV 8,#300 ;; korvid: ignore page-jump, field-cut\n", {}},
        {" DEVICE SX28L\n MOV W,#300 ; korvid: ignore field-cutx\n", {"field-cut@1", "korvid-comment@1"}},
        // a korvid comment that says what nothing knows is a warning, prose is not
        {"; korvid: family=58 dialect=loose colour=red\n DEVICE SX28L\n", {"korvid-comment@0", "korvid-comment@0", "korvid-comment@0"}},
        {" DEVICE SX28L\n\n\n\n\n NOP ; korvid: dialect=extended\n", {"korvid-comment@5"}},
        {"; the korvid: family=58 tools\n DEVICE SX28L\n NOP ; see korvid: ignore x\n", {}},
    };
    for (const auto& r : rows) EXPECT_EQ(Codes(r.source), r.expected) << r.source;
}

// Every example with the client set to either family and dialect: where
// it assembles (each at least in its own family), no check speaks. The 52
// examples say their family in a korvid comment, which wins.
// A routine that returns with the page bits it was called with leaves the
// look-back going past its CALL; one that may change them keeps it quiet.
TEST(LspChecks, PageJumpLooksPastCallsOfRoutinesThatKeepThePage) {
    const struct {
        const char* source;
        V expected;
    } rows[] = {
        {" DEVICE SX28L\n RESET start\n ORG 0\nstart CALL near\n JMP far\nnear RET\n ORG 200h\nfar NOP\n",
         {"page-jump@4"}},
        {" DEVICE SX28L\n RESET start\n ORG 0\nstart PAGE far\n CALL near\n JMP far\n ORG 200h\nnear RET\nfar NOP\n",
         {}},
        {" DEVICE SX28L\n RESET start\n ORG 0\nstart CALL near\n JMP far\nnear PAGE far\n RET\n ORG 200h\nfar NOP\n",
         {}},
    };
    for (const auto& row : rows) EXPECT_EQ(Codes(row.source), row.expected) << row.source;
}

TEST(LspChecks, NoWarningOnTheExamples) {
    for (const auto& entry : std::filesystem::directory_iterator(std::string(KORVID_SOURCE_DIR) + "/examples")) {
        if (entry.path().extension() != ".src") continue;
        std::ifstream in(entry.path(), std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        const Document doc(text.str());
        const bool is52 = entry.path().filename().string().rfind("sx52", 0) == 0;
        int assembled = 0;
        for (const Family* family : {&Sx28lFamily(), &Sx52Family()})
            for (Dialect dialect : {Dialect::Strict, Dialect::Extended}) {
                Analysis a;
                a.Run(doc, {family, dialect});
                const bool own = family->is52() == is52;
                EXPECT_TRUE(!a.failed || !own) << entry.path() << ": " << a.errorMessage;
                if (a.failed) continue;
                ++assembled;
                for (const Warning& w : a.warnings)
                    ADD_FAILURE() << entry.path() << " (" << family->name << ", dialect " << int(dialect) << ") line "
                                  << doc.AsmPosition(w.start).line + 1 << ": " << w.code << ": " << w.message;
            }
        EXPECT_GE(assembled, 2) << entry.path();
    }
}

}  // namespace
}  // namespace korvid::lsp
