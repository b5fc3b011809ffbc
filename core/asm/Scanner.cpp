// The source scanner: one token at a time from SourceText, in place.
#include "core/asm/AsmCore.h"
#include "core/asm/Keywords.h"

namespace korvid {

namespace {
constexpr unsigned char kCr = 13;

struct OperatorToken {
    Tok kind;
    std::uint8_t value;
    bool valid;
};

// The operator signs of kOperators (the rows that do not start with a
// letter), one and two characters long.
struct SignTable {
    OperatorToken one[256] = {};
    struct Pair {
        unsigned char first, second;
        OperatorToken token;
    };
    Pair pairs[kOperatorCount] = {};
    int pairCount = 0;
    bool pairStart[256] = {};
    constexpr SignTable() {
        for (const Keyword& k : kOperators) {
            const auto c = static_cast<unsigned char>(k.name[0]);
            if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) continue;
            const OperatorToken token{k.kind, static_cast<std::uint8_t>(k.value), true};
            if (k.name[1] == 0) {
                one[c] = token;
            } else {
                pairs[pairCount++] = {c, static_cast<unsigned char>(k.name[1]), token};
                pairStart[c] = true;
            }
        }
    }
};
constexpr SignTable kSigns;

constexpr OperatorToken SingleOperator(unsigned char c) { return kSigns.one[c]; }

constexpr OperatorToken PairOperator(unsigned char a, unsigned char b) {
    if (kSigns.pairStart[a])
        for (int i = 0; i < kSigns.pairCount; ++i)
            if (kSigns.pairs[i].first == a && kSigns.pairs[i].second == b) return kSigns.pairs[i].token;
    return {};
}

// Character classes.
enum : std::uint8_t { kNameStart = 1, kNamePart = 2, kDecimal = 4, kHex = 8 };
struct CharClasses {
    std::uint8_t bits[256] = {};
    std::uint8_t digit[256] = {};  // digit value, 99 for non-digits
    constexpr CharClasses() {
        for (int c = 0; c < 256; ++c) digit[c] = 99;
        for (int c = '0'; c <= '9'; ++c) {
            bits[c] = kNamePart | kDecimal | kHex;
            digit[c] = static_cast<std::uint8_t>(c - '0');
        }
        for (int c = 'A'; c <= 'Z'; ++c) {
            bits[c] = kNameStart | kNamePart;
            bits[c + 32] = kNameStart | kNamePart;
        }
        for (int c = 'A'; c <= 'F'; ++c) {
            bits[c] |= kHex;
            bits[c + 32] |= kHex;
            digit[c] = static_cast<std::uint8_t>(c - 'A' + 10);
            digit[c + 32] = static_cast<std::uint8_t>(c - 'A' + 10);
        }
        bits[static_cast<unsigned char>('_')] = kNameStart | kNamePart;
        bits[static_cast<unsigned char>(':')] = kNameStart | kNamePart;
    }
};
constexpr CharClasses kClasses;

inline bool Is(unsigned char c, std::uint8_t cls) { return (kClasses.bits[c] & cls) != 0; }

// End of the run of name/number characters starting at p (for error spans).
std::uint32_t RunEnd(const unsigned char* s, std::uint32_t p) {
    while (Is(s[p], kNamePart)) ++p;
    return p;
}

void Finish(AsmWork& w, Tok kind, std::int32_t value, std::uint32_t start, std::uint32_t end) {
    w.kind = kind;
    w.value = value;
    if (end > w.pos) w.scannedBytes += end - w.pos;
    w.pos = end;
    w.state->ErrorStart = start;
    w.state->ErrorEnd = end;
}

// Reads the digits of a number of the given base from p; `consumeEnd`
// consumes the character that ends the digits (the H and B suffix forms).
void ReadNumber(AsmWork& w, const unsigned char* s, std::uint32_t start, std::uint32_t p, std::uint32_t base,
                bool consumeEnd) {
    std::uint32_t value = 0;
    int count = 0;
    for (;;) {
        unsigned char c = s[p];
        std::uint32_t d;
        if (c == '_') {
            d = base;  // skipped, but counted
        } else {
            d = kClasses.digit[c];
            if (d >= base) break;
        }
        if (++count > 64) {
            SetSpan(w, start, RunEnd(s, p));
            Fail(w, AsmMsg::ConstantExceeds64Digits);
        }
        ++p;
        if (d == base) continue;
        std::uint64_t next = std::uint64_t(value) * base + d;
        if (next > 0xFFFFFFFFull) {
            SetSpan(w, start, RunEnd(s, p));
            Fail(w, AsmMsg::ConstantExceeds32Bits);
        }
        value = static_cast<std::uint32_t>(next);
    }
    if (consumeEnd) ++p;
    Finish(w, Tok::Constant, static_cast<std::int32_t>(value), start, p);
}

void ReadName(AsmWork& w, const unsigned char* s, std::uint32_t start) {
    std::uint32_t p = start;
    int n = 0;
    const bool upper = !w.caseSensitive;
    while (Is(s[p], kNamePart)) {
        if (n == w.nameLimit) {
            SetSpan(w, start, RunEnd(s, p));
            Fail(w, w.nameLimit == kStrictNameLength ? AsmMsg::SymbolTooLong : AsmMsg::LongSymbolTooLong);
        }
        unsigned char c = s[p++];
        if (upper && c >= 'a' && c <= 'z') c = static_cast<unsigned char>(c - 32);
        w.name[n++] = static_cast<char>(c);
    }
    // "loop:" names LOOP where the dialect writes labels with a colon.
    if (n > 1 && w.name[n - 1] == ':' && Has(w, DialectDifference::ColonLabels)) --n;
    w.name[n] = 0;
    w.nameLength = n;
    w.entry = kNoEntry;
    if (w.skipLookup) {
        Finish(w, Tok::Undefined, 0, start, p);
        return;
    }
    // A named macro parameter stands for its argument in the macro's body.
    std::int32_t parameter = 0;
    if (w.frame != kNoFrame && Has(w, DialectDifference::NamedMacroParams) &&
        FindMacroParameter(w, w.name, n, parameter)) {
        Finish(w, Tok::MacroParam, parameter, start, p);
        return;
    }
    // A local label (":name") is keyed under the global-label prefix.
    int k = 0;
    if (w.name[0] == ':')
        for (int i = 0; i < w.prefixLength; ++i) w.key[k++] = w.prefix[i];
    for (int i = 0; i < n; ++i) w.key[k++] = w.name[i];
    w.key[k] = 0;
    w.keyLength = k;
    std::uint32_t e = LookupSymbol(w, w.key, k);
    if (e == kNoEntry) {
        Finish(w, Tok::Undefined, 0, start, p);
    } else {
        w.entry = e;
        Finish(w, EntryKind(w, e), EntryValue(w, e), start, p);
    }
}

void ReadQuote(AsmWork& w, const unsigned char* s, std::uint32_t p) {
    unsigned char c = s[p + 1];
    if (c == '\'') {
        SetSpan(w, p, p + 2);
        Fail(w, AsmMsg::EmptyString);
    }
    if (c == kCr || c == 0) {
        SetSpan(w, p, p + 1);
        Fail(w, AsmMsg::ExpectedTerminatingQuote);
    }
    if (s[p + 2] == '\'') {
        Finish(w, Tok::Constant, c, p, p + 3);
        return;
    }
    // A string: it must close on this line.
    std::uint32_t q = p + 2;
    while (s[q] != '\'' && s[q] != kCr && s[q] != 0) ++q;
    if (s[q] != '\'') {
        SetSpan(w, p, q);
        Fail(w, AsmMsg::ExpectedTerminatingQuote);
    }
    w.stringMode = 1;
    Finish(w, Tok::Constant, c, p, p + 2);
}

void ReadStringPart(AsmWork& w, const unsigned char* s) {
    std::uint32_t p = w.pos;
    if (w.stringMode == 1) {
        w.stringMode = 2;
        Finish(w, Tok::Comma, 0, p, p);
        return;
    }
    unsigned char c = s[p];
    if (c == kCr || c == 0) {
        SetSpan(w, p, p + (c != 0));
        Fail(w, AsmMsg::ExpectedTerminatingQuote);
    }
    std::uint32_t end = p + 1;
    if (s[end] == '\'') {
        ++end;
        w.stringMode = 0;
    } else {
        w.stringMode = 1;
    }
    Finish(w, Tok::Constant, c, p, end);
}
}  // namespace

Tok ReadToken(AsmWork& w) {
    UndoSlot& slot = w.undo[w.undoIndex];
    slot.pos = w.pos;
    slot.stringMode = w.stringMode;
    w.undoIndex = static_cast<std::uint8_t>((w.undoIndex + 1) & (kUndoSlots - 1));
    w.entry = kNoEntry;

    const auto* s = reinterpret_cast<const unsigned char*>(w.src);
    if (w.stringMode != 0) {
        ReadStringPart(w, s);
        return w.kind;
    }
    std::uint32_t p = w.pos;
    while (s[p] != 0 && s[p] <= 32 && s[p] != kCr) ++p;
    unsigned char c = s[p];
    switch (c) {
        case 0:
            w.atEnd = true;
            Finish(w, Tok::EndOfLine, 0, p, p);
            return w.kind;
        case kCr:
            w.atEnd = false;
            Finish(w, Tok::EndOfLine, 0, p, p + 1);
            return w.kind;
        case ';': {
            std::uint32_t q = p;
            while (s[q] != kCr && s[q] != 0) ++q;
            w.atEnd = s[q] == 0;
            Finish(w, Tok::EndOfLine, 0, p, w.atEnd ? q : q + 1);
            return w.kind;
        }
        case ',':
            Finish(w, Tok::Comma, 0, p, p + 1);
            return w.kind;
        case '\'':
            ReadQuote(w, s, p);
            return w.kind;
        case '%':
            if (s[p + 1] == '0' || s[p + 1] == '1')
                ReadNumber(w, s, p, p + 1, 2, false);
            else
                Finish(w, Tok::Constant, w.percent, p, p + 1);
            return w.kind;
        case '$':
            if (Is(s[p + 1], kHex))
                ReadNumber(w, s, p, p + 1, 16, false);
            else
                Finish(w, Tok::Constant, w.dollar, p, p + 1);
            return w.kind;
        default:
            break;
    }
    if (Is(c, kDecimal)) {
        // Decide the base from the run of hex digits and what follows it.
        std::uint32_t q = p;
        while (Is(s[q], kHex)) ++q;
        unsigned char after = s[q], last = s[q - 1];
        if (after == 'H' || after == 'h')
            ReadNumber(w, s, p, p, 16, true);
        else if (last == 'B' || last == 'b')
            ReadNumber(w, s, p, p, 2, true);
        else
            ReadNumber(w, s, p, p, 10, false);
        return w.kind;
    }
    if (Is(c, kNameStart)) {
        ReadName(w, s, p);
        return w.kind;
    }
    // An operator: one character, or two with spaces allowed between them.
    std::uint32_t q = p + 1;
    while (s[q] == ' ') ++q;
    if (s[q] > 32) {
        OperatorToken two = PairOperator(c, s[q]);
        if (!two.valid && c == '=' && s[q] == '=' && Has(w, DialectDifference::DoubleEquals))
            two = {Tok::Compare, kOpEq, true};
        if (two.valid) {
            Finish(w, two.kind, two.value, p, q + 1);
            return w.kind;
        }
    }
    OperatorToken one = SingleOperator(c);
    if (!one.valid) {
        SetSpan(w, p, p + 1);
        Fail(w, AsmMsg::UnrecognizedCharacter);
    }
    Finish(w, one.kind, one.value, p, p + 1);
    return w.kind;
}

void UnreadToken(AsmWork& w) {
    w.undoIndex = static_cast<std::uint8_t>((w.undoIndex - 1) & (kUndoSlots - 1));
    w.pos = w.undo[w.undoIndex].pos;
    w.stringMode = w.undo[w.undoIndex].stringMode;
}

void SkipRestOfLine(AsmWork& w) {
    w.skipLookup = true;
    while (ReadToken(w) != Tok::EndOfLine) {
    }
    w.skipLookup = false;
}

void RequireEndOfLine(AsmWork& w) {
    if (ReadToken(w) == Tok::EndOfLine) return;
    NoteMisplacedWord(w, false);
    Fail(w, AsmMsg::ExpectedEndOfLine);
}

void RequireComma(AsmWork& w) {
    if (ReadToken(w) != Tok::Comma) Fail(w, AsmMsg::ExpectedComma);
}

}  // namespace korvid
