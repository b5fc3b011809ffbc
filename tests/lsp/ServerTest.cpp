// The server in process: lifecycle and protocol errors, settings and the
// first-lines comment, diagnostics with the dialect note, scoped rename.
#include <gtest/gtest.h>

#include "lsp/Server.h"

namespace korvid::lsp {
namespace {

class ServerFixture : public ::testing::Test {
protected:
    Server server{[this](const Json& m) { sent.push_back(m); }};
    std::vector<Json> sent;
    int nextId = 1;

    Json Request(const std::string& method, const Json& params) {
        sent.clear();
        const int id = nextId++;
        server.Handle({{"jsonrpc", "2.0"}, {"id", id}, {"method", method}, {"params", params}});
        for (const Json& m : sent)
            if (m.contains("id") && m["id"] == id) return m;
        return nullptr;
    }
    void Notify(const std::string& method, const Json& params) {
        sent.clear();
        server.Handle({{"jsonrpc", "2.0"}, {"method", method}, {"params", params}});
    }
    Json LastDiagnostics() const {
        for (auto it = sent.rbegin(); it != sent.rend(); ++it)
            if ((*it)["method"] == "textDocument/publishDiagnostics") return (*it)["params"]["diagnostics"];
        return nullptr;
    }
    void Open(const std::string& text, const Json& init = Json::object()) {
        Request("initialize", {{"capabilities", Json::object()}, {"initializationOptions", init}});
        Notify("textDocument/didOpen", {{"textDocument", {{"uri", "file:///t.src"}, {"version", 1}, {"text", text}}}});
    }
    static Json At(int line, int character) {
        return {{"textDocument", {{"uri", "file:///t.src"}}}, {"position", {{"line", line}, {"character", character}}}};
    }
};

TEST_F(ServerFixture, ProtocolErrorsNeverEndTheServer) {
    EXPECT_EQ(Request("textDocument/hover", At(0, 0))["error"]["code"], -32002);
    Open(" NOP\n");
    EXPECT_EQ(Request("no/such", Json::object())["error"]["code"], -32601);
    EXPECT_EQ(Request("textDocument/hover", {{"position", 3}})["error"]["code"], -32602);
    EXPECT_EQ(Request("textDocument/hover", {{"textDocument", {{"uri", "file:///closed.src"}}},
                                             {"position", {{"line", 0}, {"character", 0}}}})["error"]["code"],
              -32602);
    sent.clear();
    server.HandleText("{\"jsonrpc\": \"2.0\", \"id\": 9, \"method\"");
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0]["error"]["code"], -32700);
    server.HandleText("[1, 2]");
    EXPECT_EQ(sent.back()["error"]["code"], -32600);
    server.HandleText(R"({"jsonrpc": "2.0", "id": {"a": 1}, "method": "shutdown"})");
    EXPECT_EQ(sent.back(), Json::parse(R"({"jsonrpc": "2.0", "id": null, "error": {"code": -32600,
                                           "message": "a request id is a number or a string"}})"));
    // A change far outside the document is clamped, not a crash.
    Notify("textDocument/didChange", {{"textDocument", {{"uri", "file:///t.src"}, {"version", 2}}},
                                      {"contentChanges", {{{"range", {{"start", {{"line", 99}, {"character", 5}}},
                                                                      {"end", {{"line", -3}, {"character", 0}}}}},
                                                           {"text", " NOP"}}}}});
    EXPECT_TRUE(LastDiagnostics().is_array());
    EXPECT_FALSE(server.exited());
    EXPECT_TRUE(Request("shutdown", nullptr)["result"].is_null());
    Notify("exit", nullptr);
    EXPECT_TRUE(server.exited());
    EXPECT_EQ(server.exitStatus(), 0);
}

TEST_F(ServerFixture, DiagnosticsFollowSettingsAndTheFirstLinesComment) {
    // Colon labels are extended-dialect only: the strict error says so.
    Open(" DEVICE SX28L\nloop: JMP loop\n");
    Json d = LastDiagnostics();
    ASSERT_EQ(d.size(), 1u);
    EXPECT_EQ(d[0]["severity"], 1);
    EXPECT_EQ(d[0]["source"], "korvid");
    EXPECT_NE(d[0]["message"].get<std::string>().find("extended dialect accepts"), std::string::npos);
    EXPECT_EQ(d[0]["range"]["start"]["line"], 1);

    Notify("workspace/didChangeConfiguration", {{"settings", {{"korvid", {{"dialect", "extended"}}}}}});
    EXPECT_EQ(LastDiagnostics().size(), 0u);
    // A value the server does not know changes nothing and is reported.
    Notify("workspace/didChangeConfiguration", {{"settings", {{"korvid.family", "29"}, {"korvid.dialect", "loose"}}}});
    EXPECT_EQ(LastDiagnostics().size(), 0u);
    ASSERT_FALSE(sent.empty());
    EXPECT_EQ(sent[0], Json::parse(R"({"jsonrpc": "2.0", "method": "window/showMessage", "params": {"type": 2,
        "message": "Korvid: unknown setting korvid.family \"29\" (28l or 52) and korvid.dialect \"loose\" (strict or extended); kept 28l, extended"}})"));

    // The comment wins over the settings: strict again, and the 52's DEVICE words.
    Notify("textDocument/didChange",
           {{"textDocument", {{"uri", "file:///t.src"}, {"version", 3}}},
            {"contentChanges", {{{"text", "; korvid: family=52 dialect=strict\n DEVICE OSCHS2\nloop: JMP loop\n"}}}}});
    d = LastDiagnostics();
    ASSERT_EQ(d.size(), 1u);
    EXPECT_EQ(d[0]["range"]["start"]["line"], 2);

    // A source for the other chip: the error names the family that takes it.
    Notify("textDocument/didChange", {{"textDocument", {{"uri", "file:///t.src"}, {"version", 4}}},
                                      {"contentChanges", {{{"text", " DEVICE OSCHS2, DRT60MS\n"}}}}});
    d = LastDiagnostics();
    ASSERT_EQ(d.size(), 1u);
    EXPECT_NE(d[0]["message"].get<std::string>().find(
                  "(the 52 family assembles this source: set korvid.family to 52 or write \"; korvid: family=52\" in "
                  "the first lines)"),
              std::string::npos)
        << d[0]["message"];
}

// Sources past what the assembler holds (program words, list lines, one
// line's length, the symbol table, name length, macro depth) get the
// assembler's error as a diagnostic, and every feature still answers.
TEST_F(ServerFixture, DocumentsBeyondTheAssemblersLimits) {
    std::string symbols;
    for (int i = 0; i < 8000; ++i) symbols += "s" + std::to_string(i) + " EQU " + std::to_string(i) + "\n";
    std::string lines;
    for (int i = 0; i < 3000; ++i) lines += " NOP\n";
    const struct {
        std::string source;
        const char* message;
    } rows[] = {
        {" DEVICE SX28L\n" + lines, "Location already contains data"},
        {" DEVICE SX28L\n NOP ;" + std::string(2000000, 'x') + "\n", "List is too large"},
        {" DEVICE SX28L\n" + symbols, "Symbol table full"},
        {" DEVICE SX28L\n" + std::string(5000, 'a') + " NOP\n", "Symbol exceeds 32 characters"},
        {" DEVICE SX28L\nmm MACRO\n mm\n ENDM\n mm\n", "Macro stack overflow"},
    };
    for (const auto& r : rows) {
        Open(r.source);
        const Json d = LastDiagnostics();
        ASSERT_EQ(d.size(), 1u) << r.message;
        EXPECT_EQ(d[0]["message"], r.message);
        for (const char* method : {"textDocument/hover", "textDocument/documentSymbol", "textDocument/completion",
                                   "textDocument/semanticTokens/full", "textDocument/references"})
            EXPECT_TRUE(Request(method, At(1, 1)).contains("result")) << method << " " << r.message;
    }
}

// The error's range is the assembler's span, on its line: at the end of a
// line it is empty there, and a character beyond Latin-1 counts one unit.
TEST_F(ServerFixture, ErrorSpansStayOnTheirLine) {
    const struct {
        const char* source;
        int line, start, end;
    } rows[] = {
        {" DEVICE SX28L\n MOV W,#\n", 1, 8, 8},
        {" DEVICE SX28L\n MOV W,#", 1, 8, 8},
        {" DEVICE SX28L\n JMP zz ; far\n", 1, 5, 7},
        {" DEVICE SX28L\n MOV W,#300,\n", 1, 11, 12},
        {" DEVICE SX28L\r\n JMP \u00e9\r\n", 1, 5, 6},
        {" DEVICE SX28L\n REPT 3\n NOP\n", 3, 0, 0},
    };
    for (const auto& r : rows) {
        Open(r.source);
        const Json d = LastDiagnostics();
        ASSERT_EQ(d.size(), 1u) << r.source;
        EXPECT_EQ(d[0]["range"], Json({{"start", {{"line", r.line}, {"character", r.start}}},
                                       {"end", {{"line", r.line}, {"character", r.end}}}}))
            << r.source;
    }
}

TEST_F(ServerFixture, LocalLabelsRenameWithinTheirGlobalLabel) {
    Open(" DEVICE SX28L\na NOP\n:x JMP :x\nb NOP\n:x JMP :x\n");
    Json r = Request("textDocument/prepareRename", At(2, 8));
    EXPECT_EQ(r["result"]["placeholder"], ":x");
    r = Request("textDocument/rename", {{"textDocument", {{"uri", "file:///t.src"}}},
                                        {"position", {{"line", 2}, {"character", 8}}},
                                        {"newName", "y"}});
    const Json edits = r["result"]["changes"]["file:///t.src"];
    ASSERT_EQ(edits.size(), 2u);
    for (const Json& e : edits) {
        EXPECT_EQ(e["newText"], ":y");
        EXPECT_EQ(e["range"]["start"]["line"], 2);
    }
    // A name that exists, a keyword, a bad name: refused with a message.
    for (const char* bad : {"b", "MOV", "1x"})
        EXPECT_EQ(Request("textDocument/rename", {{"textDocument", {{"uri", "file:///t.src"}}},
                                                  {"position", {{"line", 1}, {"character", 0}}},
                                                  {"newName", bad}})["error"]["code"],
                  -32803)
            << bad;
}

}  // namespace
}  // namespace korvid::lsp

namespace korvid::lsp {
namespace {

// Random edits (any bytes, line ends of every kind, ranges anywhere) and
// requests at random places: every request gets an answer, nothing throws,
// and the document stays what the edits made of it.
TEST_F(ServerFixture, RandomEditsAndRequestsAlwaysAnswer) {
    Open(" DEVICE SX28L\nstart MOV W,#1\n:x JMP :x\n");
    std::uint32_t seed = 12345;
    auto next = [&](std::uint32_t n) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 8) % n;
    };
    const char* pieces[] = {"MOV", " W,#", "300", "\n", "\r\n", "\r", ":loop", "JMP ", "'ab", "'", ";", "é", "😀",
                            "EQU", "MACRO", "ENDM", "=", "\t", "\x01", "$", "%", "SB RA.0\n", "@", "PC+W"};
    const char* methods[] = {"textDocument/hover", "textDocument/definition", "textDocument/references",
                             "textDocument/documentHighlight", "textDocument/prepareRename",
                             "textDocument/completion", "textDocument/semanticTokens/full",
                             "textDocument/documentSymbol"};
    for (int i = 0; i < 1500; ++i) {
        std::string text;
        for (std::uint32_t k = next(4); k > 0; --k) text += pieces[next(std::size(pieces))];
        const auto a = [&] { return Json{{"line", int(next(12)) - 1}, {"character", int(next(30)) - 1}}; };
        Notify("textDocument/didChange", {{"textDocument", {{"uri", "file:///t.src"}, {"version", i + 2}}},
                                          {"contentChanges", {{{"range", {{"start", a()}, {"end", a()}}}, {"text", text}}}}});
        ASSERT_TRUE(LastDiagnostics().is_array()) << i;
        Json params = At(int(next(12)), int(next(30)));
        params["context"] = {{"includeDeclaration", true}};
        Json r = Request(methods[next(std::size(methods))], params);
        ASSERT_TRUE(r.contains("result")) << i << " " << r.dump();
        r = Request("textDocument/rename", {{"textDocument", params["textDocument"]}, {"position", params["position"]},
                                            {"newName", "renamed"}});
        ASSERT_TRUE(r.contains("result") || r["error"]["code"] == -32803) << i << " " << r.dump();
    }
}

}  // namespace
}  // namespace korvid::lsp

namespace korvid::lsp {
namespace {

// Hover says what the source's family and part make of a word: the page
// bits LSET, LJMP and LCALL store, the 52's turbo-only cycles, where BANK
// puts the bank; registers and bits by the shared vocabulary.
TEST_F(ServerFixture, HoverOfWordsCharactersAndFamilyDependentForms) {
    const std::string body = " LSET 0\n LJMP 0\n BANK 20h\n SB STATUS.0\n NOP\n MOV !OPTION,#'A'\n";
    const struct {
        const char* head;  // the source's first lines
        int line, character;
        const char* has;   // a piece of the hover text
    } rows[] = {
        {" DEVICE SX28L\n", 1, 2, "\n- **LSET addr** (2 words; 2 cycles; changes PA): "},
        {" DEVICE SX28L\n", 2, 2, "\n- **LJMP addr** (3 words; turbo 5 cycles; compatible 4; changes PA): "},
        {" DEVICE SX28L\n", 3, 2, "On the 28L family the bank goes to FSR bits 7..5."},
        {" DEVICE SX28L\n", 4, 2, "\n- **SB fr.bit** (1 word; 1 cycle, 2 skipping): skip if the bit is set"},
        {" DEVICE PIC16C56\n", 1, 2, "(1 word; 1 cycle; changes PA)"},
        {" DEVICE PIC16C54\n", 2, 2, "(1 word; turbo 3 cycles; compatible 2; changes PA)"},
        {"; korvid: family=52\n DEVICE OSCHS2\n", 2, 2, "\n- **LSET addr** (3 words; 3 cycles; changes PA): "},
        {"; korvid: family=52\n DEVICE OSCHS2\n", 3, 2, "\n- **LJMP addr** (4 words; 6 cycles; changes PA): "},
        {"; korvid: family=52\n DEVICE OSCHS2\n", 4, 2, "On the 52 family the bank goes to FSR bits 6..4."},
        {"; korvid: family=52\n DEVICE OSCHS2\n", 5, 2, "(1 word; 1 cycle, 2 skipping)"},
        {" DEVICE SX28L\n", 4, 5, "**STATUS** register $03: status: page bits, time-out, power-down and the flags\n\n"
                                  "bits 7..0: PA2 PA1 PA0 TO PD Z DC C"},
        {" DEVICE SX28L\n", 6, 7, "**OPTION** the OPTION register, written with MOV !OPTION,W"},
        {" DEVICE SX28L\n", 6, 7, "\n\nbits 7..0: RTW RTE_IE RTS RTE_ES PSA PS2 PS1 PS0"},
        {" DEVICE SX28L\n", 6, 15, "character $41 · 65 · %1000001"},
        {" DEVICE SX28L\n", 0, 2, "**DEVICE** directive: chooses the part"},
        {" DEVICE SX28L\n", 0, 9, "**SX28L**: a DEVICE option of the 28L family\n\n- **MemoryCode**: 0: 512 words"},
        {" DEVICE SX28L\n", 0, 9, "- **PortC**: set: 28-pin part with port C"},
        {"; korvid: family=52 dialect=extended\n DEVICE SX52\n", 1, 9, "It sets no configuration bits"},
        {"; korvid: dialect=extended\n MOV PORT_B,W\n", 1, 6, "**PORT_B** register $06 (RB): port B"},
        {" DEVICE SX28L\n MOV M,W\n", 1, 5, "**M** the MODE register: selects which port control register MOV !port,W writes "
                                          "(4 bits on the 28L family)"},
        {"; korvid: family=52\n MOV M,W\n", 1, 5, "(5 bits on the 52 family)"},
        // The ports the part has: RD is a file register on the 28L, RC on the 18-pin part.
        {" DEVICE SX28L\n MOV W,RD\n", 1, 8, "**RD** register $08: not a port on this part (ports RA to RC): a file register"},
        {" DEVICE SX18L\n MOV W,RC\n", 1, 8, "**RC** register $07: not a port on this part (ports RA to RB)"},
        {" DEVICE SX28L\n MOV W,RC\n", 1, 8, "**RC** register $07: port C"},
        {"; korvid: family=52\n MOV W,RE\n", 1, 8, "**RE** register $09: port E"},
        {" DEVICE SX28L\n JMP PC+W\n", 1, 2, "\n- **JMP PC+W** (1 word; turbo 3 cycles; compatible 2; changes C DC Z): "},
        // Numbers as the scanner reads them: separators, suffixes, prefixes.
        {" DEVICE SX28L\n MOV W,#%0110_1110\n", 1, 10, "number $6E · 110 · %1101110"},
        {" DEVICE SX28L\n MOV W,#1010b\n", 1, 10, "number $A · 10 · %1010"},
        {" DEVICE SX28L\n MOV W,#$c0\n", 1, 10, "number $C0 · 192 · %11000000"},
        {" DEVICE SX28L\n ORG 300h\nfar NOP\n", 2, 1, "**far** label = $300 · 768 · %1100000000 in page 1, its second half (out of a CALL's reach)"},
        // What a korvid comment's words do.
        {"; korvid: family=52 dialect=extended\n NOP ; korvid: ignore field-cut\n", 0, 13,
         "**family=52**: this source is assembled for the 52 family in the extended dialect"},
        {"; korvid: family=52 dialect=extended\n NOP ; korvid: ignore field-cut\n", 1, 23,
         "**field-cut**: silences the SX check for a literal"},
    };
    for (const auto& r : rows) {
        Open(std::string(r.head) + body);
        ASSERT_EQ(LastDiagnostics().size(), 0u) << r.head;
        const std::string text = Request("textDocument/hover", At(r.line, r.character))["result"]["contents"]["value"];
        EXPECT_NE(text.find(r.has), std::string::npos) << r.head << r.line << ":" << r.character << "\n" << text;
    }
}

}  // namespace
}  // namespace korvid::lsp
