// Successors, page bits and routines of a program (ControlFlow.h).
#include "analysis/ControlFlow.h"

#include <algorithm>
#include <bit>
#include <deque>
#include <set>

#include "family/Fuses.h"
#include "family/Layout.h"

namespace korvid {

namespace {

constexpr std::uint16_t kErasedWord = 0x0FFF;
constexpr int kPageShift = 9;
constexpr std::uint16_t kCallerPage = 0x100;  // returnPages: RETP's page of the return address

bool IsPageOrBank(std::uint16_t word) { return word >= 0x010 && word < 0x020; }
bool IsTableEntry(std::uint16_t word) { return (word & 0xF00) == 0x800 || (word & 0xE00) == 0xA00; }  // RETW, JMP

class Builder {
public:
    Builder(const FlowProgram& p, ControlFlow& f) : p_(p), f_(f), mask_(p.size - 1) {}

    void Run() {
        f_.program = &p_;
        f_.nodes.assign(static_cast<std::size_t>(p_.size), {});
        f_.callers.assign(static_cast<std::size_t>(p_.size), {});
        f_.returnPages.assign(static_cast<std::size_t>(p_.size), 0);
        for (int a = 0; a < p_.size; ++a) {
            FlowNode& n = f_.nodes[static_cast<std::size_t>(a)];
            n.timing = TimingOfWord(Word(a), a, p_.mode);
            n.operation = MatchInstruction(Word(a), a).operation;
        }
        f_.resetVector = p_.size - 1;
        f_.reachesInterrupt = HasInterruptRoutine(p_);
        // Reset and interrupt both start with the page bits cleared.
        Arrive(f_.resetVector, 1);
        if (f_.reachesInterrupt) Arrive(0, 1);
        // Page bits grow monotonically; a routine's return pages feed its
        // callers' return sites, so passes repeat until nothing grows.
        for (int pass = 0; pass < 2 * kProgramWords; ++pass) {
            while (!work_.empty()) {
                const int a = work_.front();
                work_.pop_front();
                queued_[static_cast<std::size_t>(a)] = false;
                Visit(a);
            }
            if (!UpdateReturnPages()) break;
        }
        for (int a = 0; a < p_.size; ++a) Edges(a);
        for (int a = 0; a < p_.size; ++a) {
            const int callee = f_.nodes[static_cast<std::size_t>(a)].callee;
            if (callee >= 0 && f_.nodes[static_cast<std::size_t>(a)].pages)
                f_.callers[static_cast<std::size_t>(callee)].push_back(a);
        }
        for (int a = 0; a < p_.size; ++a)
            if (!f_.callers[static_cast<std::size_t>(a)].empty()) f_.routines.push_back(a);
    }

private:
    std::uint16_t Word(int a) const {
        const auto i = static_cast<std::size_t>(a & mask_);
        return p_.data[i] ? p_.words[i] : kErasedWord;
    }
    int Next(int a, int n = 1) const { return (a + n) & mask_; }
    // Words a taken skip annuls from `a` on: that one, and while an
    // annulled word is PAGE or BANK the word after it too.
    int Annulled(int a) const {
        int n = 1;
        while (n < 255 && IsPageOrBank(Word(a + n - 1))) ++n;
        return n;
    }

    void Arrive(int a, std::uint8_t pages) {
        FlowNode& n = f_.nodes[static_cast<std::size_t>(a)];
        if ((n.pages | pages) == n.pages) return;
        n.pages |= pages;
        if (!queued_[static_cast<std::size_t>(a)]) {
            queued_[static_cast<std::size_t>(a)] = true;
            work_.push_back(a);
        }
    }

    // The addresses a jump or call reaches from `a` under each page.
    template <class F>
    void ForEachPage(std::uint8_t pages, F&& f) const {
        for (int page = 0; page < 8; ++page)
            if (pages & (1 << page)) f(page);
    }

    // Where the instruction at `a` goes, with the page bits after it.
    template <class F>
    void Successors(int a, F&& go) {
        FlowNode& n = f_.nodes[static_cast<std::size_t>(a)];
        const std::uint16_t w = Word(a);
        const std::uint8_t pages = n.pages;
        const int jump = ClassCycles(TimingClass::Jump, p_.mode);
        n.end = FlowEnd::None;
        n.callee = -1;
        if (n.timing.writesPc) {
            // A register write to PC other than JMP PC+W.
            if (w == 0x1E2) {
                int entries = 0;
                while (entries < 256 && IsTableEntry(Word(a + 1 + entries)) &&
                       ((a + 1 + entries) & 0xFF) >= ((a + 1) & 0xFF))
                    ++entries;
                if (entries == 0) n.end = FlowEnd::ComputedJump;
                ForEachPage(pages, [&](int page) {
                    for (int i = 0; i < entries; ++i)
                        go((((page << kPageShift) | ((a + 1 + i) & 0xFF)) & mask_), jump, pages);
                });
            } else {
                n.end = FlowEnd::ComputedJump;
            }
            return;
        }
        switch (n.operation) {
            case Operation::Ret:
            case Operation::Retp:
            case Operation::RetW: n.end = FlowEnd::Return; return;
            case Operation::Reti:
            case Operation::Retiw: n.end = FlowEnd::InterruptReturn; return;
            case Operation::Sleep: n.end = FlowEnd::Sleep; return;
            case Operation::Page: go(Next(a), n.timing.cycles, static_cast<std::uint8_t>(1u << (w & 7))); return;
            case Operation::Jmp:
                ForEachPage(pages, [&](int page) {
                    go(((page << kPageShift) | (w & 0x1FF)) & mask_, jump, std::uint8_t(1u << page));
                });
                return;
            case Operation::Call: {
                n.callCycles = jump;
                // One callee per page; the page bits are the same at each.
                ForEachPage(pages, [&](int page) {
                    const int callee = ((page << kPageShift) | (w & 0xFF)) & mask_;
                    n.callee = callee;
                    Arrive(callee, std::uint8_t(1u << page));
                    const std::uint16_t back = f_.returnPages[static_cast<std::size_t>(callee)];
                    std::uint8_t after = static_cast<std::uint8_t>(back & 0xFF);
                    if (back & kCallerPage) after |= static_cast<std::uint8_t>(1u << ((Next(a) >> kPageShift) & 7));
                    callSites_.insert({a, callee});
                    go(Next(a), 0, after);
                });
                return;
            }
            default: break;
        }
        go(Next(a), n.timing.cycles, pages);
        if (n.timing.skip) {
            const int k = Annulled(Next(a));
            go(Next(a, 1 + k), n.timing.cycles + k * kAnnulledWordCycles, pages);
        }
    }

    void Visit(int a) {
        Successors(a, [&](int to, int, std::uint8_t pages) {
            if (pages) Arrive(to, pages);
        });
    }

    void Edges(int a) {
        FlowNode& n = f_.nodes[static_cast<std::size_t>(a)];
        n.next.clear();
        if (!n.pages) return;
        Successors(a, [&](int to, int cycles, std::uint8_t) {
            for (const FlowEdge& e : n.next)
                if (e.to == to && e.cycles == cycles) return;
            n.next.push_back({to, cycles});
        });
    }

    // A routine's body: what its entry reaches without entering callees.
    std::vector<int> Body(int entry) {
        std::vector<int> out;
        std::vector<char> seen(static_cast<std::size_t>(p_.size), 0);
        std::vector<int> stack{entry};
        seen[static_cast<std::size_t>(entry)] = 1;
        while (!stack.empty()) {
            const int a = stack.back();
            stack.pop_back();
            out.push_back(a);
            Successors(a, [&](int to, int, std::uint8_t) {
                if (!seen[static_cast<std::size_t>(to)]) {
                    seen[static_cast<std::size_t>(to)] = 1;
                    stack.push_back(to);
                }
            });
        }
        return out;
    }

    bool UpdateReturnPages() {
        std::vector<int> callees;
        for (auto [site, callee] : callSites_) callees.push_back(callee);
        std::sort(callees.begin(), callees.end());
        callees.erase(std::unique(callees.begin(), callees.end()), callees.end());
        std::set<int> grown;
        for (int callee : callees) {
            std::uint16_t pages = 0;
            for (int a : Body(callee)) {
                const FlowNode& n = f_.nodes[static_cast<std::size_t>(a)];
                if (n.operation == Operation::Retp)
                    pages |= kCallerPage;
                else if (n.operation == Operation::Ret || n.operation == Operation::RetW)
                    pages |= n.pages;
            }
            std::uint16_t& known = f_.returnPages[static_cast<std::size_t>(callee)];
            if ((known | pages) != known) {
                known |= pages;
                grown.insert(callee);
            }
        }
        for (auto [site, callee] : callSites_)
            if (grown.count(callee) && !queued_[static_cast<std::size_t>(site)]) {
                queued_[static_cast<std::size_t>(site)] = true;
                work_.push_back(site);
            }
        return !grown.empty();
    }

    const FlowProgram& p_;
    ControlFlow& f_;
    const int mask_;
    std::deque<int> work_;
    std::array<bool, kProgramWords> queued_{};
    std::set<std::pair<int, int>> callSites_;
};

}  // namespace

FlowProgram FlowProgramOf(const Family& family, const Image& image) {
    FlowProgram p;
    p.family = &family;
    const ConfigWords words{image[kFuseIndex], image[kExtFuseIndex]};
    p.mode = family.fuseOn(FuseField::Turbo, words) ? ClockMode::Turbo : ClockMode::Compatible;
    p.size = LayoutOf(family, image[kExtFuseIndex]).programSize;
    for (int a = 0; a < kProgramWords; ++a) {
        p.data[static_cast<std::size_t>(a)] = (image[static_cast<std::size_t>(a)] & kDataFlag) != 0;
        p.words[static_cast<std::size_t>(a)] =
            static_cast<std::uint16_t>(image[static_cast<std::size_t>(a)] & kWordMask);
    }
    return p;
}

ControlFlow AnalyseControlFlow(const FlowProgram& program) {
    ControlFlow flow;
    Builder(program, flow).Run();
    return flow;
}

bool HasInterruptRoutine(const FlowProgram& program) {
    if (!program.data[0]) return false;
    for (int a = 0; a < program.size; ++a) {
        const auto i = static_cast<std::size_t>(a);
        if (!program.data[i]) continue;
        const Operation op = MatchInstruction(program.words[i], a).operation;
        if (op == Operation::Reti || op == Operation::Retiw) return true;
    }
    return false;
}

int SinglePage(const ControlFlow& flow, int address) {
    const std::uint8_t pages = flow.nodes[static_cast<std::size_t>(address)].pages;
    return std::popcount(pages) == 1 ? std::countr_zero(pages) : -1;
}

}  // namespace korvid
