// Cycle bounds over a program's control flow (CycleBounds.h).
//
// The graph's strongly connected parts are taken in topological order
// from the start, carrying the fewest and most cycles of arriving at each
// instruction. A part that loops is solved on its own from its header,
// with the edges back to the header as one more way out: one pass of the
// loop. A loop whose counter runs n passes then costs at most n - 1 of
// the longest pass plus the longest way out, and at least the shortest
// way out (n - 1 shortest passes first when the counter is its only way
// out). A call costs the CALL and the routine's own bounds.
#include "analysis/CycleBounds.h"

#include <algorithm>
#include <map>
#include <memory>

#include "family/Registers.h"

namespace korvid {

namespace {

// Ways out of a part besides the addresses it leaves to.
constexpr int kReturnExit = -1;     // a return to the caller
constexpr int kInterruptExit = -2;  // RETI, RETIW
constexpr int kSinkExit = -3;       // arrival at the span's end
constexpr int kOpenExit = -4;       // somewhere the graph does not follow

constexpr int kMaxScan = 32;  // instructions a constant is looked for before a loop or OPTION write

CycleBound Open(int at, std::string why) {
    CycleBound b;
    b.bounded = false;
    b.openAt = at;
    b.why = std::move(why);
    return b;
}

// a then b.
CycleBound Then(const CycleBound& a, const CycleBound& b) {
    CycleBound r = a;
    r.min = a.min + b.min;
    r.max = a.max + b.max;
    if (a.bounded && !b.bounded) {
        r.bounded = false;
        r.openAt = b.openAt;
        r.why = b.why;
    }
    r.longestEnd = b.longestEnd >= 0 ? b.longestEnd : a.longestEnd;
    return r;
}

// Either of two ways.
void Either(CycleBound& r, const CycleBound& b) {
    r.min = std::min(r.min, b.min);
    if (b.max > r.max) {
        r.max = b.max;
        r.longestEnd = b.longestEnd;
    }
    if (r.bounded && !b.bounded) {
        r.bounded = false;
        r.openAt = b.openAt;
        r.why = b.why;
    }
}

void Merge(std::map<int, CycleBound>& into, int key, const CycleBound& b) {
    auto [it, fresh] = into.emplace(key, b);
    if (!fresh) Either(it->second, b);
}

std::string RegisterText(int r) {
    static const char* const kHex = "0123456789ABCDEF";
    return std::string("register ") + kHex[(r >> 4) & 15] + kHex[r & 15] + "h";
}

using Exits = std::map<int, CycleBound>;

struct Shared {
    explicit Shared(const ControlFlow& f) : flow(f), preds(f.nodes.size()), all(f.nodes.size()) {
        for (std::size_t a = 0; a < f.nodes.size(); ++a) {
            all[a] = static_cast<int>(a);
            if (!f.nodes[a].pages) continue;
            for (const FlowEdge& e : f.nodes[a].next)
                preds[static_cast<std::size_t>(e.to)].push_back(static_cast<int>(a));
        }
        for (auto& p : preds) {
            std::sort(p.begin(), p.end());
            p.erase(std::unique(p.begin(), p.end()), p.end());
        }
        firstRam = 5 + f.program->family->maxPortCount;
    }
    const ControlFlow& flow;
    std::vector<std::vector<int>> preds;
    std::vector<int> all;
    int firstRam;
    std::map<int, CycleBound> routines;
    std::vector<int> inProgress;
};

class Solver {
public:
    Solver(Shared& shared, int sink) : s_(shared), f_(shared.flow), sink_(sink) {}

    // Ways out of the nodes marked in `in`, from arriving at `entry`. With
    // `entryEnds`, arriving at the entry again is a way out.
    Exits Solve(const std::vector<char>& in, int entry, bool entryEnds) {
        Exits exits;
        const std::size_t n = f_.nodes.size();
        std::vector<CycleBound> dist(n);
        std::vector<char> has(n, 0);
        auto inside = [&](int to) {
            return to >= 0 && in[static_cast<std::size_t>(to)] && to != sink_ && !(entryEnds && to == entry);
        };
        auto reach = [&](int key, const CycleBound& b) {
            if (inside(key)) {
                const auto k = static_cast<std::size_t>(key);
                if (!has[k]) {
                    dist[k] = b;
                    has[k] = 1;
                } else {
                    Either(dist[k], b);
                }
            } else {
                Merge(exits, key >= 0 && key == sink_ ? kSinkExit : key, b);
            }
        };
        dist[static_cast<std::size_t>(entry)] = {};
        has[static_cast<std::size_t>(entry)] = 1;
        for (const std::vector<int>& part : Parts(inside, entry)) {
            if (part.size() == 1 && !SelfLoop(part[0])) {
                const int u = part[0];
                if (!has[static_cast<std::size_t>(u)]) continue;
                ForEachEdge(u, [&](int to, const CycleBound& cost) {
                    reach(to, Then(dist[static_cast<std::size_t>(u)], cost));
                });
                continue;
            }
            std::vector<char> partIn(n, 0);
            for (int a : part) partIn[static_cast<std::size_t>(a)] = 1;
            std::vector<int> heads;
            for (int a : part)
                if (has[static_cast<std::size_t>(a)]) heads.push_back(a);
            for (int h : heads) {
                int passes = 0;
                CycleBound why;
                if (heads.size() > 1)
                    why = Open(h, "the loop is entered at more than one place");
                else
                    passes = CountedPasses(part, partIn, h, why);
                const Exits inner = Solve(partIn, h, true);
                const auto back = inner.find(h);
                const bool onlyWayOut = inner.size() == 2 && h != entry;
                for (const auto& [to, out] : inner) {
                    if (to == h) continue;
                    CycleBound total = Then(dist[static_cast<std::size_t>(h)], out);
                    if (passes > 0 && back != inner.end()) {
                        total.max += static_cast<std::int64_t>(passes - 1) * back->second.max;
                        if (onlyWayOut) total.min += static_cast<std::int64_t>(passes - 1) * back->second.min;
                        if (total.bounded && !back->second.bounded)
                            total = Then(total, Open(back->second.openAt, back->second.why));
                    } else if (total.bounded) {
                        total.bounded = false;
                        total.openAt = why.openAt;
                        total.why = why.why;
                    }
                    reach(to, total);
                }
            }
        }
        return exits;
    }

    CycleBound Routine(int entry) {
        if (auto it = s_.routines.find(entry); it != s_.routines.end()) return it->second;
        if (std::find(s_.inProgress.begin(), s_.inProgress.end(), entry) != s_.inProgress.end())
            return Open(entry, "the routine calls itself");
        s_.inProgress.push_back(entry);
        std::vector<char> all(f_.nodes.size(), 1);
        Solver plain(s_, -1);
        const Exits exits = plain.Solve(all, entry, false);
        s_.inProgress.pop_back();
        CycleBound r;
        if (auto it = exits.find(kReturnExit); it != exits.end())
            r = it->second;
        else
            r.reached = false;
        if (auto it = exits.find(kOpenExit); it != exits.end() && r.bounded) r = Then(r, it->second);
        s_.routines.emplace(entry, r);
        return r;
    }

private:
    bool SelfLoop(int u) const {
        for (const FlowEdge& e : f_.nodes[static_cast<std::size_t>(u)].next)
            if (e.to == u && u != sink_) return true;
        return false;
    }

    template <class F>
    void ForEachEdge(int u, F&& f) {
        const FlowNode& node = f_.nodes[static_cast<std::size_t>(u)];
        const int c = node.timing.cycles;
        CycleBound own{c, c};
        own.longestEnd = u;
        switch (node.end) {
            case FlowEnd::Return: f(kReturnExit, own); return;
            case FlowEnd::InterruptReturn: f(kInterruptExit, own); return;
            case FlowEnd::ComputedJump: f(kOpenExit, Open(u, "a computed jump")); return;
            case FlowEnd::Sleep: return;
            case FlowEnd::None: break;
        }
        if (node.callee >= 0) {
            const CycleBound routine = Routine(node.callee);
            if (!routine.reached || node.next.empty()) return;  // never back
            CycleBound call{node.callCycles, node.callCycles};
            call.longestEnd = u;
            CycleBound total = Then(call, routine);
            total.longestEnd = u;
            f(node.next[0].to, total);
            return;
        }
        for (const FlowEdge& e : node.next) {
            CycleBound b{e.cycles, e.cycles};
            b.longestEnd = u;
            f(e.to, b);
        }
    }

    // Internal successors (for the parts).
    template <class Inside, class F>
    void ForEachInside(int u, Inside&& inside, F&& f) const {
        const FlowNode& node = f_.nodes[static_cast<std::size_t>(u)];
        if (node.end != FlowEnd::None) return;
        for (const FlowEdge& e : node.next)
            if (inside(e.to)) f(e.to);
    }

    // The strongly connected parts reachable from `entry`, in topological
    // order (Tarjan's algorithm without recursion).
    template <class Inside>
    std::vector<std::vector<int>> Parts(Inside&& inside, int entry) const {
        const std::size_t n = f_.nodes.size();
        std::vector<int> index(n, -1), low(n, 0);
        std::vector<char> onStack(n, 0);
        std::vector<int> stack;
        std::vector<std::vector<int>> parts;
        struct Frame {
            int node;
            std::vector<int> next;
            std::size_t i = 0;
        };
        std::vector<Frame> frames;
        int counter = 0;
        auto open = [&](int v) {
            index[static_cast<std::size_t>(v)] = low[static_cast<std::size_t>(v)] = counter++;
            stack.push_back(v);
            onStack[static_cast<std::size_t>(v)] = 1;
            Frame fr{v, {}};
            ForEachInside(v, inside, [&](int w) { fr.next.push_back(w); });
            frames.push_back(std::move(fr));
        };
        open(entry);
        while (!frames.empty()) {
            Frame& fr = frames.back();
            const auto v = static_cast<std::size_t>(fr.node);
            if (fr.i < fr.next.size()) {
                const int w = fr.next[fr.i++];
                const auto wi = static_cast<std::size_t>(w);
                if (index[wi] < 0)
                    open(w);
                else if (onStack[wi])
                    low[v] = std::min(low[v], index[wi]);
                continue;
            }
            if (low[v] == index[v]) {
                std::vector<int> part;
                int w;
                do {
                    w = stack.back();
                    stack.pop_back();
                    onStack[static_cast<std::size_t>(w)] = 0;
                    part.push_back(w);
                } while (w != fr.node);
                parts.push_back(std::move(part));
            }
            const int done = fr.node;
            frames.pop_back();
            if (!frames.empty()) {
                const auto p = static_cast<std::size_t>(frames.back().node);
                low[p] = std::min(low[p], low[static_cast<std::size_t>(done)]);
            }
        }
        std::reverse(parts.begin(), parts.end());
        return parts;
    }

    std::uint16_t Word(int a) const { return f_.program->words[static_cast<std::size_t>(a)]; }
    int Fr(int a) const { return static_cast<int>(RegisterField(Word(a))); }
    bool Writes(int a, int r) const {
        const FlowNode& n = f_.nodes[static_cast<std::size_t>(a)];
        return TimingOf(n.operation).writesRegister && (Fr(a) == r || Fr(a) == 0);
    }
    // The instruction before `a` when it is the only way there.
    int OnlyPred(int a) const {
        const auto& p = s_.preds[static_cast<std::size_t>(a)];
        return p.size() == 1 ? p[0] : -1;
    }

    // W after the instruction at `a` has run, when straight code before it
    // sets it to a constant; -1 otherwise.
    int WAfter(int a) const {
        for (int step = 0; a >= 0 && step < kMaxScan; ++step, a = OnlyPred(a)) {
            const FlowNode& n = f_.nodes[static_cast<std::size_t>(a)];
            switch (n.operation) {
                case Operation::MovWLit: return Word(a) & 0xFF;
                case Operation::ClrW: return 0;
                case Operation::Nop:
                case Operation::Page:
                case Operation::Bank:
                case Operation::MovMLit:
                case Operation::MovOptionW:
                case Operation::ClrWdt:
                case Operation::Snb:
                case Operation::Sb: continue;
                default:
                    // A register write leaves W alone unless it writes 01h, which can be W.
                    if (TimingOf(n.operation).writesRegister && Fr(a) != kRtccRegister && n.callee < 0) continue;
                    return -1;
            }
        }
        return -1;
    }

    // Register r after the instruction at `a` has run, as straight code
    // before it sets it; -1 otherwise.
    int RegisterAfter(int a, int r) const {
        for (int step = 0; a >= 0 && step < kMaxScan; ++step, a = OnlyPred(a)) {
            const FlowNode& n = f_.nodes[static_cast<std::size_t>(a)];
            if (n.callee >= 0) return -1;
            if (!Writes(a, r)) continue;
            if (Fr(a) != r) return -1;  // through IND
            if (n.operation == Operation::ClrFr) return 0;
            if (n.operation == Operation::MovFrW) return WAfter(OnlyPred(a));
            return -1;
        }
        return -1;
    }

    // Whether code reached from `a` through calls writes register r (or
    // any through IND).
    bool CalleeWrites(int callee, int r) const {
        std::vector<char> seen(f_.nodes.size(), 0);
        std::vector<int> stack{callee};
        seen[static_cast<std::size_t>(callee)] = 1;
        while (!stack.empty()) {
            const int a = stack.back();
            stack.pop_back();
            if (Writes(a, r)) return true;
            const FlowNode& n = f_.nodes[static_cast<std::size_t>(a)];
            auto visit = [&](int to) {
                if (!seen[static_cast<std::size_t>(to)]) {
                    seen[static_cast<std::size_t>(to)] = 1;
                    stack.push_back(to);
                }
            };
            if (n.callee >= 0) visit(n.callee);
            if (n.end == FlowEnd::None)
                for (const FlowEdge& e : n.next) visit(e.to);
        }
        return false;
    }

    // How many passes a loop makes when a DECSZ or INCSZ on a register set
    // to a constant before it counts every pass; 0 (and why) otherwise.
    int CountedPasses(const std::vector<int>& part, const std::vector<char>& partIn, int head, CycleBound& why) {
        why = Open(head, "no DECSZ or INCSZ counts every pass of the loop");
        for (int c : part) {
            const FlowNode& node = f_.nodes[static_cast<std::size_t>(c)];
            if (node.operation != Operation::DecSz && node.operation != Operation::IncSz) continue;
            if (node.next.size() != 2 || !partIn[static_cast<std::size_t>(node.next[0].to)] ||
                partIn[static_cast<std::size_t>(node.next[1].to)])
                continue;  // the skip must leave the loop, the fall-through stay in it
            if (!OnEveryPass(partIn, head, c)) continue;
            const int r = Fr(c);
            if (r < s_.firstRam) continue;
            bool writes = false, banks = false;
            for (int a : part) {
                const FlowNode& n = f_.nodes[static_cast<std::size_t>(a)];
                if (a != c && Writes(a, r)) writes = true;
                if (n.callee >= 0 && CalleeWrites(n.callee, r)) writes = true;
                if (n.operation == Operation::Bank || (TimingOf(n.operation).writesRegister && Fr(a) == kFsrRegister))
                    banks = true;
            }
            if (writes || (banks && r >= 0x10)) {
                why = Open(head, "the loop changes its counter " + RegisterText(r) + " besides its " +
                                     (node.operation == Operation::DecSz ? "DECSZ" : "INCSZ"));
                continue;
            }
            int value = -2;
            for (int a : part)
                for (int p : s_.preds[static_cast<std::size_t>(a)]) {
                    if (partIn[static_cast<std::size_t>(p)]) continue;
                    const int v = RegisterAfter(p, r);
                    value = value == -2 || value == v ? v : -1;
                }
            if (value < 0) {
                why = Open(head, "its counter " + RegisterText(r) + " is not set to a constant before the loop");
                continue;
            }
            if (node.operation == Operation::DecSz) return value == 0 ? 256 : value;
            return value == 0 ? 256 : 256 - value;
        }
        return 0;
    }

    // Every way round the loop from `head` back to it passes `c`.
    bool OnEveryPass(const std::vector<char>& partIn, int head, int c) const {
        if (head == c) return true;
        std::vector<char> seen(f_.nodes.size(), 0);
        std::vector<int> stack{head};
        while (!stack.empty()) {
            const int a = stack.back();
            stack.pop_back();
            const FlowNode& n = f_.nodes[static_cast<std::size_t>(a)];
            if (n.end != FlowEnd::None) continue;
            for (const FlowEdge& e : n.next) {
                if (e.to == head) return false;
                if (e.to == c || !partIn[static_cast<std::size_t>(e.to)] || seen[static_cast<std::size_t>(e.to)])
                    continue;
                seen[static_cast<std::size_t>(e.to)] = 1;
                stack.push_back(e.to);
            }
        }
        return true;
    }

public:
    int WAfterOnlyPred(int a) const { return WAfter(OnlyPred(a)); }

private:
    Shared& s_;
    const ControlFlow& f_;
    int sink_;
};

// Shared look-ups of one flow; the analyses below make one each.
Shared& SharedOf(const ControlFlow& flow, std::unique_ptr<Shared>& holder) {
    holder = std::make_unique<Shared>(flow);
    return *holder;
}

// Ways out that leave a span's end unknown: the path goes on where the
// graph does not follow.
CycleBound Finish(const Exits& exits, int key) {
    CycleBound r;
    if (auto it = exits.find(key); it != exits.end())
        r = it->second;
    else
        r.reached = false;
    if (auto it = exits.find(kOpenExit); it != exits.end() && r.bounded) {
        r.bounded = false;
        r.openAt = it->second.openAt;
        r.why = it->second.why;
    }
    return r;
}

}  // namespace

CycleBound SpanCycles(const ControlFlow& flow, int from, int to) {
    std::unique_ptr<Shared> holder;
    Shared& shared = SharedOf(flow, holder);
    Solver solver(shared, to);
    const std::vector<char> all(flow.nodes.size(), 1);
    const Exits exits = solver.Solve(all, from, false);
    CycleBound r = Finish(exits, kSinkExit);
    // A return leaves for a caller the graph does not know here: the end
    // may still come after it.
    for (int key : {kReturnExit, kInterruptExit})
        if (auto it = exits.find(key); it != exits.end() && (r.bounded || !r.reached)) {
            if (!r.reached) r.min = it->second.min;
            r.reached = true;
            r.bounded = false;
            r.openAt = it->second.longestEnd;
            r.why = "a path returns before it arrives at the end";
        }
    return r;
}

CycleBound RoutineCycles(const ControlFlow& flow, int entry) {
    std::unique_ptr<Shared> holder;
    Shared& shared = SharedOf(flow, holder);
    return Solver(shared, -1).Routine(entry);
}

CycleBound InterruptCycles(const ControlFlow& flow) {
    std::unique_ptr<Shared> holder;
    Shared& shared = SharedOf(flow, holder);
    Solver solver(shared, -1);
    const std::vector<char> all(flow.nodes.size(), 1);
    CycleBound r = Finish(solver.Solve(all, 0, false), kInterruptExit);
    const int entry = InterruptEntryCycles(flow.program->mode);
    r.min += entry;
    r.max += entry;
    return r;
}

std::int64_t InterruptPeriod(const ControlFlow& flow) {
    std::unique_ptr<Shared> holder;
    Shared& shared = SharedOf(flow, holder);
    Solver solver(shared, -1);
    int option = -2, w = -2;
    for (std::size_t a = 0; a < flow.nodes.size(); ++a) {
        const FlowNode& n = flow.nodes[a];
        if (!n.pages) continue;
        if (n.operation == Operation::MovOptionW) {
            const int v = solver.WAfterOnlyPred(static_cast<int>(a));
            option = option == -2 || option == v ? v : -1;
        } else if (n.operation == Operation::Retiw) {
            const int v = solver.WAfterOnlyPred(static_cast<int>(a));
            w = w == -2 || w == v ? v : -1;
        }
    }
    constexpr int kRtccFromPin = 0x20, kPrescalerToWatchdog = 0x08;
    if (option < 0 || w < 0 || (option & kRtccFromPin)) return 0;
    const std::int64_t ticks = w == 0 ? 256 : 256 - w;
    const std::int64_t prescale = (option & kPrescalerToWatchdog) ? 1 : std::int64_t{2} << (option & 7);
    return ticks * prescale;
}

}  // namespace korvid
