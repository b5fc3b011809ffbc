// korvid lsp: a change of a 5,000-line source through to its diagnostics,
// hover, definition and completion on it, and the memory of a 10,000-edit
// session (resident set before and after, as counters).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <unistd.h>

#include "lsp/Server.h"

namespace korvid::lsp {
namespace {

// 5,000 lines for the 52: constants, comments, and code in blocks under
// global labels with local loops; about 3,700 program words.
std::string BigSource() {
    std::string s = "; korvid: family=52\n DEVICE OSCHS2\n";
    for (int i = 0; i < 400; ++i) s.append("k").append(std::to_string(i)).append(" EQU ").append(std::to_string(i % 200)).append("\n");
    int lines = 402;
    for (int block = 0; lines < 5000; ++block) {
        s.append("; block ").append(std::to_string(block)).append(": the comments of a real source\n;\n;\n;\n");
        s.append("f").append(std::to_string(block)).append(" MOV W,#k").append(std::to_string(block % 400)).append("\n");
        s.append(":loop ADD 10h,W\n CLRB RB.1\n DJNZ 11h,:loop\n");
        s.append(" JMP @f").append(std::to_string(block / 2)).append("\n RET\n");
        lines += 10;
    }
    return s;
}

struct Session {
    std::vector<Json> sent;
    Server server{[this](const Json& m) { sent.push_back(m); }};
    int id = 1;
    explicit Session(const std::string& text) {
        server.Handle({{"jsonrpc", "2.0"}, {"id", id++}, {"method", "initialize"}, {"params", Json::object()}});
        server.Handle({{"jsonrpc", "2.0"}, {"method", "textDocument/didOpen"},
                       {"params", {{"textDocument", {{"uri", "file:///big.src"}, {"version", 1}, {"text", text}}}}}});
    }
    void Change(int version, int line, const std::string& text) {
        sent.clear();
        Json range = {{"start", {{"line", line}, {"character", 2}}}, {"end", {{"line", line}, {"character", 3}}}};
        Json change = {{"range", range}, {"text", text}};
        Json params = {{"textDocument", {{"uri", "file:///big.src"}, {"version", version}}},
                       {"contentChanges", Json::array({change})}};
        server.HandleText(Json{{"jsonrpc", "2.0"}, {"method", "textDocument/didChange"}, {"params", params}}.dump());
    }
    void Ask(const char* method, int line, int character) {
        sent.clear();
        Json params = {{"textDocument", {{"uri", "file:///big.src"}}},
                       {"position", {{"line", line}, {"character", character}}}};
        server.HandleText(Json{{"jsonrpc", "2.0"}, {"id", id++}, {"method", method}, {"params", params}}.dump());
    }
};

long ResidentKb() {
    long pages = 0, resident = 0;
    FILE* f = std::fopen("/proc/self/statm", "r");
    if (f) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
        std::fclose(f);
    }
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

void BM_ChangeToDiagnostics5000Lines(benchmark::State& state) {
    Session s(BigSource());
    int version = 2;
    for (auto _ : state) {
        s.Change(version, 502, version % 2 ? "B" : "b");  // a letter of a comment
        ++version;
    }
    // What the last change published: an error would measure the wrong path.
    for (const Json& m : s.sent)
        if (m.value("method", "") == "textDocument/publishDiagnostics")
            state.counters["diagnostics"] = static_cast<double>(m["params"]["diagnostics"].size());
}
BENCHMARK(BM_ChangeToDiagnostics5000Lines)->Unit(benchmark::kMillisecond);

// The inlay hints of the whole source after a change: the change, its
// diagnostics and the hints, as an editor asks for them after each edit.
void BM_InlayHintsAfterChange5000Lines(benchmark::State& state) {
    Session s(BigSource());
    int version = 2;
    std::size_t hints = 0;
    for (auto _ : state) {
        s.Change(version, 502, version % 2 ? "B" : "b");
        ++version;
        s.sent.clear();
        Json range = {{"start", {{"line", 0}, {"character", 0}}}, {"end", {{"line", 5000}, {"character", 0}}}};
        s.server.HandleText(Json{{"jsonrpc", "2.0"},
                                 {"id", s.id++},
                                 {"method", "textDocument/inlayHint"},
                                 {"params", {{"textDocument", {{"uri", "file:///big.src"}}}, {"range", range}}}}
                                .dump());
        hints = s.sent.empty() ? 0 : s.sent.back()["result"].size();
    }
    state.counters["hints"] = static_cast<double>(hints);
}
BENCHMARK(BM_InlayHintsAfterChange5000Lines)->Unit(benchmark::kMillisecond);

// Line 4000 is " JMP @f179": the label at its end, the mnemonic at 2.
constexpr struct {
    const char* method;
    int character;
    const char* label;
} kRequests[] = {
    {"textDocument/hover", 12, "hover of a label"},
    {"textDocument/definition", 12, "definition of a label"},
    {"textDocument/completion", 12, "completion of an operand"},
    {"textDocument/hover", 2, "hover of an instruction"},
};

void BM_Requests5000Lines(benchmark::State& state) {
    Session s(BigSource());
    const auto& r = kRequests[state.range(0)];
    for (auto _ : state) s.Ask(r.method, 4000, r.character);
    state.SetLabel(r.label);
}
BENCHMARK(BM_Requests5000Lines)->DenseRange(0, 3)->Unit(benchmark::kMicrosecond);

// Ten thousand small edits of an example: the resident set after the first
// thousand and after all of them.
void BM_TenThousandEdits(benchmark::State& state) {
    for (auto _ : state) {
        Session s(" DEVICE SX28L\n; a comment\nstart MOV W,#1\n JMP start\n");
        long after1000 = 0;
        for (int i = 0; i < 10000; ++i) {
            s.Change(i + 2, 1, i % 2 ? "s" : "x");
            if (i == 999) after1000 = ResidentKb();
        }
        state.counters["rss_after_1000_kB"] = static_cast<double>(after1000);
        state.counters["rss_after_10000_kB"] = static_cast<double>(ResidentKb());
    }
}
BENCHMARK(BM_TenThousandEdits)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace korvid::lsp
