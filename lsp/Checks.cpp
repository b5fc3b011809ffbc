// The SX checks: code the assembler takes without a word but that will not
// run as written. Each warning has a code that a "; korvid: ignore CODE"
// comment on its line silences. A check that cannot be sure stays quiet.
#include <algorithm>
#include <array>
#include <cstdio>
#include <unordered_map>
#include <unordered_set>

#include "analysis/ControlFlow.h"
#include "family/Family.h"
#include "lsp/Analysis.h"
#include "lsp/Checks.h"
#include "lsp/KorvidComment.h"

namespace korvid::lsp {

namespace {
constexpr std::uint32_t kLookBack = 256;  // words searched for a PAGE before a jump

constexpr std::array kTargetJumps = {"JMP", "CALL", "JB", "JC", "JZ", "JNB", "JNC", "JNZ",
                                     "CJE", "CJNE", "CJA", "CJAE", "CJB", "CJBE", "IJNZ", "DJNZ"};
constexpr std::array kSkips = {"SB", "SC", "SZ", "SNB", "SNC", "SNZ", "INCSZ", "DECSZ", "MOVSZ",
                               "CSE", "CSNE", "CSA", "CSAE", "CSB", "CSBE", "SKIP"};
constexpr std::array kTableEntries = {"JMP", "RETW", "LJMP"};

template <std::size_t N>
bool In(const std::array<const char*, N>& set, const std::string& word) {
    return std::any_of(set.begin(), set.end(), [&](const char* s) { return word == s; });
}

std::string Hex(std::uint32_t v, int digits = 3) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%0*Xh", digits, v);
    return buf;
}

bool IsPageOrBank(std::uint16_t word) { return word >= 0x010 && word <= 0x01F; }

// Whether a word may change STATUS's page bits in a way the look-back cannot
// follow (RETP, a call that returns with who knows which page, a write to
// STATUS other than a C, DC or Z bit operation).
bool UnsurePageChange(std::uint16_t word) {
    if (word == 0x00D) return true;                    // RETP
    if (word >= 0x900 && word <= 0x9FF) return true;   // CALL
    if ((word & 0x1F) != 3 || word < 0x020 || word >= 0x800) return false;
    if (word >= 0x400) return ((word >> 5) & 7) >= 5 && word < 0x600;  // CLRB/SETB PA0..PA2
    return word < 0x200 || word >= 0x240;               // other writes (MOV W,fr reads only)
}
}  // namespace

const std::vector<CheckInfo>& Checks() {
    static const std::vector<CheckInfo> checks = {
        {"page-jump", "a jump or call into another 512-word page with no PAGE setting it on the way"},
        {"skip-multiword", "a skip followed by an instruction or macro of more than one word"},
        {"pcw-table", "a JMP PC+W table that runs past what the jump can reach"},
        {"field-cut", "a literal, register or bit number or data word that does not fit its field"},
    };
    return checks;
}

void Analysis::RunChecks() {
    warnings.clear();
    if (failed) return;
    const AssemblyState& s = *state_;
    const auto facts = InstructionFacts(s);
    const auto word = [&](std::uint32_t a) -> int {
        a &= kProgramWords - 1;
        return (s.ChipImage[a] & kDataFlag) ? s.ChipImage[a] & kWordMask : -1;
    };
    auto mnemonic = [&](const InstructionFact& f) { return UpperName(std::string_view(text_).substr(f.start, f.end - f.start)); };
    std::unordered_map<std::uint32_t, std::size_t> factAt;
    for (std::size_t i = 0; i < facts.size(); ++i) factAt.emplace(facts[i].address, i);
    // What a called routine leaves in the page bits, from the program's
    // control flow (worked out at the first CALL the look-back meets).
    std::optional<FlowProgram> program;
    std::optional<ControlFlow> flow;
    auto pageAfterCall = [&](std::uint32_t call) {
        if (!flow) {
            program = FlowProgramOf(*s.family, s.ChipImage);
            flow = AnalyseControlFlow(*program);
        }
        const auto size = static_cast<std::uint32_t>(program->size);
        if (call + 1 >= size) return std::pair{-1, -1};
        return std::pair{SinglePage(*flow, static_cast<int>(call)), SinglePage(*flow, static_cast<int>(call + 1))};
    };
    std::unordered_set<std::uint32_t> labelAddresses;
    for (const Symbol& sym : symbols)
        if ((sym.kind == SymbolKind::Label || sym.kind == SymbolKind::LocalLabel) && sym.value)
            labelAddresses.insert(static_cast<std::uint32_t>(*sym.value) & (kProgramWords - 1));

    for (std::size_t i = 0; i < facts.size(); ++i) {
        const InstructionFact& f = facts[i];
        if (f.expanded || f.words == 0) continue;
        const std::string m = mnemonic(f);

        if (In(kTargetJumps, m) && f.hasTarget) {
            const std::uint32_t jumpWord = (f.address + f.words - 1) & (kProgramWords - 1);
            const std::uint32_t targetPage = (f.target & (kProgramWords - 1)) / kPageWords;
            std::uint32_t page = jumpWord / kPageWords;  // assumed when no PAGE is found
            bool sure = true, found = false;
            for (std::uint32_t back = 1; back <= kLookBack && back <= jumpWord; ++back) {
                const std::uint32_t a = jumpWord - back;
                const int w = word(a);
                if (w < 0) break;
                if (w >= 0x010 && w <= 0x017) {
                    page = static_cast<std::uint32_t>(w & 7);
                    found = true;
                    break;
                }
                if (w >= 0x900 && w <= 0x9FF) {
                    // A routine that returns with the page it was called
                    // with on every path changes nothing here; any other
                    // (RETP, a PAGE inside) leaves the check unsure.
                    const auto [before, after] = pageAfterCall(a);
                    if (after >= 0 && after == before) {
                        if (labelAddresses.count(a)) break;
                        continue;
                    }
                }
                if (UnsurePageChange(static_cast<std::uint16_t>(w))) {
                    sure = false;
                    break;
                }
                if (labelAddresses.count(a)) break;
            }
            if (sure && page != targetPage) {
                std::string why = found ? "the PAGE before it selects page " + std::to_string(page)
                                        : "no PAGE on the way selects it (write " + m + " @" +
                                              std::string(text_.substr(f.targetStart, f.targetEnd - f.targetStart)) +
                                              " or put a PAGE before it)";
                warnings.push_back({f.targetStart, f.targetEnd, "page-jump",
                                    m + " target " + Hex(f.target & (kProgramWords - 1)) + " lies in page " +
                                        std::to_string(targetPage) + " but " + why});
            }
        }

        if (In(kSkips, m)) {
            auto next = factAt.find((f.address + f.words) & (kProgramWords - 1));
            if (next != factAt.end()) {
                const InstructionFact& g = facts[next->second];
                if (g.expanded) {
                    std::uint32_t words = 0, at = g.address;
                    for (std::size_t k = next->second; k < facts.size() && facts[k].expanded && facts[k].address == at; ++k) {
                        words += facts[k].words;
                        at = facts[k].address + facts[k].words;
                    }
                    if (words > 1)
                        warnings.push_back({f.start, f.end, "skip-multiword",
                                            m + " skips only the first of the " + std::to_string(words) +
                                                " words the macro after it stores"});
                } else if (g.words > 1 && !IsPageOrBank(static_cast<std::uint16_t>(word(g.address)))) {
                    warnings.push_back({f.start, f.end, "skip-multiword",
                                        m + " skips only the first of the " + std::to_string(g.words) + " words of " +
                                            mnemonic(g) + " after it"});
                }
            }
        }

        if ((m == "JMP" || m == "ADD") && f.words == 1 && word(f.address) == 0x1E2) {
            std::uint32_t end = f.address, at = f.address + 1;
            for (std::size_t k = i + 1; k < facts.size() && !facts[k].expanded && facts[k].address == at &&
                                        In(kTableEntries, mnemonic(facts[k]));
                 ++k) {
                end = facts[k].address + facts[k].words - 1;
                at = end + 1;
            }
            const std::uint32_t reach = (f.address & ~(kPageWords - 1)) | 0xFF;
            if (end > f.address && (end > reach || ((f.address + 1) & 0x100)))
                warnings.push_back({f.start, f.end, "pcw-table",
                                    "the table after " + m + " PC+W runs from " + Hex(f.address + 1) + " to " +
                                        Hex(end) + " but the jump reaches only " +
                                        Hex(reach & ~0xFFu) + " to " + Hex(reach) +
                                        " (bit 8 of the target is cleared)"});
        }
    }

    for (const FieldCut& c : FieldCuts(s)) {
        if (c.expanded) continue;
        warnings.push_back({c.start, c.end, "field-cut",
                            std::to_string(c.value) + " does not fit its " + std::to_string(c.bits) +
                                "-bit field: the word holds " + Hex(c.stored, 2)});
    }

    // "; korvid: ignore CODE" on a warning's line silences it.
    std::erase_if(warnings, [&](const Warning& w) {
        const std::size_t lineStart = text_.rfind('\r', w.start == 0 ? 0 : w.start - 1);
        const std::size_t from = lineStart == std::string::npos || w.start == 0 ? 0 : lineStart + 1;
        std::size_t to = text_.find('\r', w.start);
        if (to == std::string::npos) to = text_.size();
        const auto words = ReadKorvidComment(std::string_view(text_).substr(from, to - from));
        return std::any_of(words.begin(), words.end(),
                           [&](const KorvidWord& k) { return k.key == "ignore" && k.value == w.code; });
    });
}

void Analysis::CheckKorvidComments() {
    std::string codes;
    for (const CheckInfo& c : Checks()) codes.append(codes.empty() ? "" : ", ").append(c.code);
    for (const ClassifiedToken& t : tokens) {
        if (t.cls != TokenClass::Comment) continue;
        const std::string_view comment = std::string_view(text_).substr(t.token.start, t.token.end - t.token.start);
        const std::vector<KorvidWord> words = ReadKorvidComment(comment);
        if (words.empty()) continue;
        const bool settingsLine = std::count(text_.begin(), text_.begin() + t.token.start, '\r') < kSettingsLines;
        for (const KorvidWord& w : words) {
            std::string problem;
            Dialect dialect;
            if (w.key == "ignore") {
                if (std::none_of(Checks().begin(), Checks().end(), [&](const CheckInfo& c) { return c.code == w.value; }))
                    problem = "no SX check is called \"" + std::string(w.value) + "\" (the checks: " + codes + ")";
            } else if (w.key == "family" || w.key == "dialect") {
                if (!settingsLine)
                    problem = std::string(w.key) + "= counts only in the first " + std::to_string(kSettingsLines) + " lines";
                else if (w.key == "family" ? FamilyByName(w.value) == nullptr : !DialectByName(w.value, dialect))
                    problem = "unknown " + std::string(w.key) + " \"" + std::string(w.value) + "\" (" +
                              (w.key == "family" ? "28l or 52" : "strict or extended") + ")";
            } else {
                problem = "a korvid comment knows family=, dialect= and ignore CODE, not \"" + std::string(w.key) +
                          (w.value.empty() ? "" : "=") + std::string(w.value) + "\"";
            }
            if (problem.empty()) continue;
            const std::uint32_t at = t.token.start + static_cast<std::uint32_t>(w.at);
            std::uint32_t end = at;
            while (end < t.token.end && text_[end] != ' ' && text_[end] != '\t' && text_[end] != ',') ++end;
            warnings.push_back({at, end, "korvid-comment", problem});
        }
    }
}

}  // namespace korvid::lsp
