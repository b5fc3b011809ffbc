// The expression reader: tokens to postfix code, then evaluation.
//
// Grammar (lowest to highest): AND/OR/XOR chains of logical terms; a
// logical term is NOT* followed by a comparison chain; comparison chains of
// arithmetic chains; arithmetic chains of operands, strictly left to right;
// an operand is prefixes followed by a primary. All arithmetic on 32 bits,
// wrapping; the cases that would be undefined in C++ have fixed results.
#include "core/asm/AsmCore.h"

namespace korvid {

namespace {
constexpr std::uint8_t kOperandMarker = 0xFF;

void Emit(AsmWork& w, std::uint8_t byte) {
    if (w.postfixLength + 1 > kPostfixSize) Fail(w, AsmMsg::ExpressionTooComplex);
    w.postfix[w.postfixLength++] = byte;
}

void EmitOperand(AsmWork& w, std::int32_t value) {
    if (w.postfixLength + 5 > kPostfixSize) Fail(w, AsmMsg::ExpressionTooComplex);
    auto v = static_cast<std::uint32_t>(value);
    std::uint8_t* p = w.postfix + w.postfixLength;
    p[0] = kOperandMarker;
    p[1] = static_cast<std::uint8_t>(v);
    p[2] = static_cast<std::uint8_t>(v >> 8);
    p[3] = static_cast<std::uint8_t>(v >> 16);
    p[4] = static_cast<std::uint8_t>(v >> 24);
    w.postfixLength += 5;
}

void PushPending(AsmWork& w) {
    if (++w.pendingOperators > kOperatorStackSize) Fail(w, AsmMsg::ExpressionTooComplex);
}

void ParseExpression(AsmWork& w);

void ParsePrimary(AsmWork& w) {
    switch (ReadToken(w)) {
        case Tok::Constant:
        case Tok::Variable:
            EmitOperand(w, w.value);
            return;
        case Tok::MacroParam:
            // Evaluated like "\n" for its number n.
            EmitOperand(w, w.value);
            Emit(w, kOpArg);
            return;
        case Tok::Undefined:
            if (w.mustDefine) Fail(w, AsmMsg::UndefinedSymbol);
            w.unresolved = true;
            EmitOperand(w, 0);
            return;
        case Tok::OpenParen:
            PushPending(w);
            ++w.parenDepth;
            ParseExpression(w);
            if (ReadToken(w) != Tok::CloseParen) Fail(w, AsmMsg::ExpectedBinaryOperator);
            --w.parenDepth;
            --w.pendingOperators;
            return;
        default: break;
    }
    NoteMisplacedWord(w, true);
    Fail(w, AsmMsg::ExpectedOperand);
}

void ParseOperand(AsmWork& w) {
    // Prefixes apply to the primary that follows them, innermost first.
    std::uint8_t prefixes[kOperatorStackSize];
    int count = 0;
    for (;;) {
        Tok t = ReadToken(w);
        std::uint8_t op;
        if (t == Tok::Prefix) {
            op = static_cast<std::uint8_t>(w.value);
            if (op == kOpArg && w.frame == kNoFrame) Fail(w, AsmMsg::BackslashOutsideMacro);
        } else if (t == Tok::Arith && w.value == kOpSub) {
            op = kOpNegate;
        } else if (t == Tok::Arith && w.value == kOpAdd) {
            continue;  // "+" prefix is ignored
        } else {
            UnreadToken(w);
            break;
        }
        PushPending(w);
        prefixes[count++] = op;
    }
    ParsePrimary(w);
    while (count > 0) {
        Emit(w, prefixes[--count]);
        --w.pendingOperators;
    }
}

void ParseArithmeticChain(AsmWork& w) {
    ParseOperand(w);
    for (;;) {
        std::uint32_t before = w.pos;
        if (ReadToken(w) != Tok::Arith) {
            UnreadToken(w);
            return;
        }
        auto op = static_cast<std::uint8_t>(w.value);
        if (op == kOpSub && w.parenDepth == 0) {
            // "fr-W": the expression ends before "-", which is consumed.
            if (ReadToken(w) == Tok::W) {
                UnreadToken(w);
                w.stoppedAtMinusW = true;
                w.exprEndOverride = before;
                return;
            }
            UnreadToken(w);
        }
        PushPending(w);
        ParseOperand(w);
        Emit(w, op);
        --w.pendingOperators;
    }
}

// A chain of one level's binary operators (tokens of `kind`) over operands
// of the level below, left to right, each operator after its operands.
template <void (*Operand)(AsmWork&)>
void ParseChain(AsmWork& w, Tok kind) {
    Operand(w);
    while (!w.stoppedAtMinusW) {
        if (ReadToken(w) != kind) {
            UnreadToken(w);
            return;
        }
        auto op = static_cast<std::uint8_t>(w.value);
        PushPending(w);
        Operand(w);
        Emit(w, op);
        --w.pendingOperators;
    }
}

void ParseComparisonChain(AsmWork& w) { ParseChain<ParseArithmeticChain>(w, Tok::Compare); }

void ParseLogicalTerm(AsmWork& w) {
    int nots = 0;
    while (ReadToken(w) == Tok::Not) {
        PushPending(w);
        ++nots;
    }
    UnreadToken(w);
    ParseComparisonChain(w);
    for (; nots > 0; --nots) {
        Emit(w, kOpNot);
        --w.pendingOperators;
    }
}

void ParseExpression(AsmWork& w) { ParseChain<ParseLogicalTerm>(w, Tok::Logical); }

std::int32_t ReverseBits(std::uint32_t value, std::uint32_t n) {
    // The low n bits of the value (zero-extended to 64 bits) in reverse
    // order; n above 64 counts as 64, n = 0 gives 0.
    if (n > 64) n = 64;
    std::uint32_t result = 0;
    for (std::uint32_t i = 0; i < n && i < 32; ++i) {
        std::uint32_t from = n - 1 - i;
        if (from < 32 && ((value >> from) & 1u)) result |= 1u << i;
    }
    return static_cast<std::int32_t>(result);
}

std::int32_t Binary(std::uint8_t op, std::int32_t a, std::int32_t b) {
    auto ua = static_cast<std::uint32_t>(a), ub = static_cast<std::uint32_t>(b);
    switch (op) {
        case kOpAnd: return static_cast<std::int32_t>(ua & ub);
        case kOpOr: return static_cast<std::int32_t>(ua | ub);
        case kOpXor: return static_cast<std::int32_t>(ua ^ ub);
        case kOpAdd: return static_cast<std::int32_t>(ua + ub);
        case kOpSub: return static_cast<std::int32_t>(ua - ub);
        case kOpMul: return static_cast<std::int32_t>(ua * ub);
        case kOpDiv:
            if (b == 0) b = 1;
            if (a == INT32_MIN && b == -1) return INT32_MIN;  // the quotient wraps
            return a / b;
        case kOpMod:
            if (b == 0) b = 1;
            if (b == -1) return 0;
            return a % b;
        case kOpShl: return ub >= 32 ? 0 : static_cast<std::int32_t>(ua << ub);
        case kOpShr: return ub >= 32 ? (a < 0 ? -1 : 0) : (a >> ub);
        case kOpRev: return ReverseBits(ua, ub);
        case kOpDot: return static_cast<std::int32_t>((ua & 0xFF) + 256 * (ub & 7));
        case kOpLogAnd: return (a != 0 && b != 0) ? -1 : 0;
        case kOpLogOr: return (a != 0 || b != 0) ? -1 : 0;
        case kOpLogXor: return ((a != 0) != (b != 0)) ? -1 : 0;
        case kOpLe: return a <= b ? -1 : 0;
        case kOpGe: return a >= b ? -1 : 0;
        case kOpEq: return a == b ? -1 : 0;
        case kOpNe: return a != b ? -1 : 0;
        case kOpLt: return a < b ? -1 : 0;
        case kOpGt: return a > b ? -1 : 0;
        default: return 0;
    }
}

std::int32_t Evaluate(AsmWork& w) {
    int depth = 0;
    std::int32_t* stack = w.valueStack;
    for (int i = 0; i < w.postfixLength;) {
        std::uint8_t code = w.postfix[i];
        if (code == kOperandMarker) {
            if (depth == kValueStackSize) Fail(w, AsmMsg::ExpressionTooComplex);
            const std::uint8_t* p = w.postfix + i + 1;
            stack[depth++] = static_cast<std::int32_t>(std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 |
                                                       std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24);
            i += 5;
            continue;
        }
        ++i;
        if (depth == 0) continue;  // the grammar always gives an operand first
        std::int32_t& top = stack[depth - 1];
        auto utop = static_cast<std::uint32_t>(top);
        switch (code) {
            case kOpNegate: top = static_cast<std::int32_t>(0u - utop); break;
            case kOpComplement: top = static_cast<std::int32_t>(~utop); break;
            case kOpAbs: top = top < 0 ? static_cast<std::int32_t>(0u - utop) : top; break;
            case kOpNot: top = top == 0 ? -1 : 0; break;
            case kOpArg: {
                if (utop > FrameArgumentCount(w)) Fail(w, AsmMsg::MacroArgumentIndex);
                bool unresolved = false;
                std::int32_t v = FrameArgument(w, utop, unresolved);
                if (unresolved) {
                    if (w.mustDefine) Fail(w, AsmMsg::MacroArgumentUnresolvable);
                    w.unresolved = true;
                    v = 0;
                }
                top = v;
                break;
            }
            default:
                if (depth < 2) break;
                --depth;
                if (code == kOpDot) {
                    // REG.BIT keeps the register's low 8 bits and the bit's low 3.
                    NoteCut(w, stack[depth - 1], 0, 0xFF, static_cast<std::uint32_t>(stack[depth - 1]) & 0xFF, 8);
                    NoteCut(w, stack[depth], 0, 7, static_cast<std::uint32_t>(stack[depth]) & 7, 3);
                }
                stack[depth - 1] = Binary(code, stack[depth - 1], stack[depth]);
                break;
        }
    }
    return depth > 0 ? stack[0] : 0;
}
}  // namespace

std::int32_t ReadExpression(AsmWork& w, bool mustDefine) {
    w.mustDefine = mustDefine;
    w.unresolved = false;
    w.stoppedAtMinusW = false;
    w.postfixLength = 0;
    w.pendingOperators = 0;
    w.parenDepth = 0;
    w.exprEndOverride = kNoEntry;

    // The expression's span starts at its first token.
    std::uint32_t start = w.pos;
    if (w.stringMode == 0)
        while (w.src[start] != 0 && static_cast<unsigned char>(w.src[start]) <= 32 && w.src[start] != 13) ++start;

    ParseExpression(w);
    std::uint32_t end = w.exprEndOverride != kNoEntry ? w.exprEndOverride : w.pos;
    if (!w.stoppedAtMinusW) {
        // Two operands in a row.
        Tok t = ReadToken(w);
        if ((t == Tok::Constant || t == Tok::Variable || t == Tok::Undefined || t == Tok::OpenParen ||
             t == Tok::Prefix || t == Tok::Not || t == Tok::MacroParam) && !IsThen(w))
            Fail(w, AsmMsg::ExpectedBinaryOperator);
        UnreadToken(w);
    }
    SetSpan(w, start, end);
    std::int32_t value = Evaluate(w);
    if (w.unresolved) value = 0;
    return value;
}

}  // namespace korvid
