// korvid cycles: the fewest and most cycles of spans, routines and the
// interrupt routine over every path of a program, and whether the
// interrupt routine fits in its period.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <map>
#include <nlohmann/json.hpp>

#include "analysis/CycleBounds.h"
#include "apps/korvid/CliSupport.h"
#include "apps/korvid/CommandTable.h"
#include "base/Text.h"
#include "core/asm/Assembler.h"
#include "core/asm/SourceFacts.h"

namespace korvid::cli {
namespace {

std::string HexAddress(int a) { return Hex(static_cast<unsigned>(a), 3) + "h"; }

// The labels of an assembled source by address (first definition wins;
// a local label as LABEL:local), from the names that open its lines.
std::multimap<int, std::string> SourceLabels(AssemblyState& s) {
    std::multimap<int, std::string> out;
    std::vector<SourceToken> tokens;
    ScanSourceTokens(s, tokens);
    const std::string_view text(s.SourceText ? s.SourceText : "");
    std::string global, globalName;
    for (std::size_t i = 0; i < tokens.size(); ++i) {
        const SourceToken& t = tokens[i];
        const bool first =
            i == 0 || text.substr(tokens[i - 1].end, t.start - tokens[i - 1].end).find('\r') != std::string_view::npos;
        if (!first || t.kind != SourceTokenKind::Name) continue;
        std::string name(text.substr(t.start, t.end - t.start));
        if (name.size() > 1 && name.back() == ':') name.pop_back();
        if (ClassifyKeyword(*s.family, s.dialect, Upper(name)) != KeywordClass::None) continue;
        if (i + 1 < tokens.size()) {
            const std::string next =
                Upper(std::string(text.substr(tokens[i + 1].start, tokens[i + 1].end - tokens[i + 1].start)));
            if (next == "EQU" || next == "=" || next == "MACRO") continue;
        }
        const bool local = name[0] == ':';
        const std::string key = local ? global + Upper(name) : Upper(name);
        if (!local) global = Upper(name), globalName = name;
        const auto value = FindSymbol(s, key);
        if (!value || *value < 0 || *value >= kProgramWords) continue;
        out.emplace(*value, local ? globalName + name : name);
    }
    return out;
}

class Names {
public:
    Names(AssemblyState* s, int size) : s_(s), size_(size) {
        if (s_) labels_ = SourceLabels(*s_);
    }

    // A label (as `korvid test` reads it: as written, then in capitals)
    // or an address ($1F, 0x1F, 1Fh or decimal); -1 when neither.
    int Resolve(const std::string& name) const {
        if (s_) {
            auto v = FindSymbol(*s_, name);
            if (!v) v = FindSymbol(*s_, Upper(name));
            if (v) return *v >= 0 && *v < size_ ? *v : -1;
        }
        std::string digits = name;
        int base = 10;
        if (digits.size() > 1 && digits[0] == '$')
            digits.erase(0, 1), base = 16;
        else if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X'))
            digits.erase(0, 2), base = 16;
        else if (digits.size() > 1 && (digits.back() == 'h' || digits.back() == 'H'))
            digits.pop_back(), base = 16;
        if (digits.empty()) return -1;
        long v = 0;
        for (char c : digits) {
            const int d = std::isdigit(static_cast<unsigned char>(c)) ? c - '0'
                          : std::isxdigit(static_cast<unsigned char>(c))
                              ? std::toupper(static_cast<unsigned char>(c)) - 'A' + 10
                              : 99;
            if (d >= base) return -1;
            v = v * base + d;
            if (v >= size_) return -1;
        }
        return static_cast<int>(v);
    }

    // The label at an address (a global one first), or its address.
    std::string At(int a) const {
        std::string local;
        for (auto [it, end] = labels_.equal_range(a); it != end; ++it) {
            if (it->second.find(':') == std::string::npos) return it->second;
            if (local.empty()) local = it->second;
        }
        return local.empty() ? HexAddress(a) : local;
    }

    // The nearest label at or before an address: "LABEL" or "LABEL+N".
    std::string Near(int a) const {
        auto it = labels_.upper_bound(a);
        if (it == labels_.begin()) return HexAddress(a);
        --it;
        const int base = it->first;
        const std::string name = At(base);
        return base == a ? name : name + "+" + std::to_string(a - base);
    }

    // FILE:LINE:COL of the instruction at an address.
    std::string Place(const std::string& file, const std::string& source, int address) const {
        if (s_)
            for (const InstructionFact& f : InstructionFacts(*s_))
                if (static_cast<int>(f.address) <= address && address < static_cast<int>(f.address + f.words)) {
                    const TextPosition p = PositionOf(source, f.start);
                    return file + ":" + std::to_string(p.line) + ":" + std::to_string(p.column);
                }
        return file;
    }

private:
    AssemblyState* s_;
    int size_;
    std::multimap<int, std::string> labels_;
};

std::string Why(const CycleBound& b, const Names& names) {
    return b.openAt >= 0 ? "at " + names.Near(b.openAt) + ": " + b.why : b.why;
}

std::string BoundText(const CycleBound& b, const Names& names) {
    if (!b.reached) return "never reached";
    if (!b.bounded) return std::to_string(b.min) + "..? cycles (unbounded: " + Why(b, names) + ")";
    return std::to_string(b.min) + ".." + std::to_string(b.max) + " cycles";
}

nlohmann::json BoundJson(const CycleBound& b, const Names& names, int from) {
    nlohmann::json j;
    j["reached"] = b.reached;
    j["bounded"] = b.reached && b.bounded;
    j["min"] = b.min;
    j["max"] = b.reached && b.bounded ? nlohmann::json(b.max) : nlohmann::json(nullptr);
    if (!b.bounded) j["reason"] = Why(b, names);
    if (b.longestEnd >= 0) j["longest"] = {{"from", from}, {"to", b.longestEnd}, {"toLabel", names.Near(b.longestEnd)}};
    return j;
}

}  // namespace

int RunCycles(const Options& options) {
    const bool json = options.Flag("--json");
    const std::string file = options.Operands()[0];
    std::vector<std::pair<std::string, std::string>> spans;
    for (std::size_t i = 1; i < options.Operands().size(); ++i) {
        const std::string& s = options.Operands()[i];
        const std::size_t dots = s.find("..");
        if (dots == std::string::npos || dots == 0 || dots + 2 >= s.size())
            return UsageError("cycles", "expected FROM..TO, not '" + s + "'");
        spans.emplace_back(s.substr(0, dots), s.substr(dots + 2));
    }

    ProgramSession session;
    if (!LoadProgramImage(session, ProgramChoice(options), file)) return kExitFailure;
    AssemblyState& s = session.state();
    const FlowProgram program = FlowProgramOf(session.family(), s.ChipImage);
    const ControlFlow flow = AnalyseControlFlow(program);
    const Names names(IsHexFileName(file) ? nullptr : &s, program.size);

    nlohmann::json doc = {{"file", file}};
    std::string text;
    int status = kExitOk;
    if (!spans.empty()) {
        std::vector<std::pair<int, int>> at;
        for (const auto& [from, to] : spans) {
            const int a = names.Resolve(from), b = names.Resolve(to);
            for (const auto& [name, address] : {std::pair{from, a}, std::pair{to, b}})
                if (address < 0) return UsageError("cycles", "'" + name + "' is not a label or address of the program");
            at.emplace_back(a, b);
        }
        doc["spans"] = nlohmann::json::array();
        for (std::size_t i = 0; i < spans.size(); ++i) {
            const CycleBound b = SpanCycles(flow, at[i].first, at[i].second);
            text += spans[i].first + ".." + spans[i].second + ": " + BoundText(b, names) + "\n";
            nlohmann::json j = BoundJson(b, names, at[i].first);
            j["from"] = spans[i].first;
            j["to"] = spans[i].second;
            doc["spans"].push_back(j);
        }
    } else {
        doc["routines"] = nlohmann::json::array();
        for (int r : flow.routines) {
            const CycleBound b = RoutineCycles(flow, r);
            text += names.At(r) + ": " + BoundText(b, names) + "\n";
            nlohmann::json j = BoundJson(b, names, r);
            j["name"] = names.At(r);
            j["from"] = r;
            doc["routines"].push_back(j);
        }
        if (flow.reachesInterrupt) {
            const CycleBound b = InterruptCycles(flow);
            const std::int64_t period = InterruptPeriod(flow);
            std::string line = "interrupt: " + BoundText(b, names);
            if (period > 0 && b.bounded && b.reached) line += " of a period of " + std::to_string(period) + " cycles";
            text += line + "\n";
            nlohmann::json j = BoundJson(b, names, 0);
            j["period"] = period > 0 ? nlohmann::json(period) : nlohmann::json(nullptr);
            const bool over = period > 0 && b.reached && (!b.bounded || b.max > period);
            j["overrun"] = over;
            doc["interrupt"] = j;
            if (over) {
                status = kExitFailure;
                const int at = b.bounded ? b.longestEnd : b.openAt;
                const std::string what = b.bounded ? "can take " + std::to_string(b.max) + " cycles"
                                                   : "has no bound (" + Why(b, names) + ")";
                std::fprintf(stderr, "%s: error: the interrupt routine %s, longer than its period of %lld cycles\n",
                             names.Place(file, session.source(), at).c_str(), what.c_str(),
                             static_cast<long long>(period));
            }
        }
    }
    if (json)
        std::fputs((doc.dump(2) + "\n").c_str(), stdout);
    else
        std::fputs(text.c_str(), stdout);
    return status;
}

}  // namespace korvid::cli
