// The symbol table: 256 hash chains over one fixed storage area. Keywords
// and user symbols live side by side, so the scanner gets the token kind of
// every name (a keyword word such as MOV, NOT or W, or a user symbol) from
// one lookup. Operator signs are never looked up: the scanner reads them
// from the operator list (Keywords.h). The signs are entered all the same,
// as every keyword row is, so that they take their share of the storage.
#include <cstring>
#include <string_view>

#include "core/asm/AsmCore.h"
#include "core/asm/Keywords.h"

namespace korvid {

namespace {
// Entry layout in the storage area.
constexpr std::uint32_t kNextField = 0;
constexpr std::uint32_t kKindField = 4;
constexpr std::uint32_t kValueField = 5;
constexpr std::uint32_t kKeyField = 9;

std::uint32_t Read32(const std::uint8_t* p) {
    std::uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}
void Write32(std::uint8_t* p, std::uint32_t v) { std::memcpy(p, &v, 4); }

std::uint8_t Hash(const char* key, int length) {
    std::uint8_t sum = 0;
    for (int i = 0; i < length; ++i) sum = static_cast<std::uint8_t>(sum + static_cast<std::uint8_t>(key[i]));
    return sum;
}

std::uint32_t IndexHash(const char* key, int length) {
    std::uint32_t h = 2166136261u;
    for (int i = 0; i < length; ++i) h = (h ^ static_cast<std::uint8_t>(key[i])) * 16777619u;
    return h ^ (h >> 15);
}

bool KeyEquals(const char* stored, const char* key, int length);

const char* EntryKey(const AsmWork& w, std::uint32_t entry) {
    return reinterpret_cast<const char*>(w.storage + entry + kKeyField);
}

// The index slot of a key: the slot holding its entry, or the empty slot
// where it belongs.
std::uint32_t IndexSlot(const AsmWork& w, const char* key, int length) {
    std::uint32_t slot = IndexHash(key, length) & (kSymbolIndexSize - 1);
    for (;;) {
        std::uint32_t e = w.index[slot];
        if (e == kNoEntry || KeyEquals(EntryKey(w, e), key, length)) return slot;
        slot = (slot + 1) & (kSymbolIndexSize - 1);
    }
}

std::uint32_t Append(AsmWork& w, const char* key, int length, Tok kind, std::int32_t value) {
    std::uint32_t size = kKeyField + static_cast<std::uint32_t>(length) + 1;
    if (w.storageUsed + size > kSymbolStorageSize) {
        if (w.hasPendingLabel) SetSpan(w, w.labelStart, w.labelEnd);
        Fail(w, AsmMsg::SymbolTableFull);
    }
    std::uint32_t at = w.storageUsed;
    std::uint8_t* e = w.storage + at;
    Write32(e + kNextField, kNoEntry);
    e[kKindField] = static_cast<std::uint8_t>(kind);
    Write32(e + kValueField, static_cast<std::uint32_t>(value));
    std::memcpy(e + kKeyField, key, static_cast<std::size_t>(length));
    e[kKeyField + length] = 0;
    w.storageUsed += size;

    // Append at the end of the chain, so that an older entry of the same key
    // would still be found first. The tail of each chain is kept at hand.
    std::uint8_t h = Hash(key, length);
    if (w.buckets[h] == kNoEntry)
        w.buckets[h] = at;
    else
        Write32(w.storage + w.tails[h] + kNextField, at);
    w.tails[h] = at;
    std::uint32_t slot = IndexSlot(w, key, length);
    if (w.index[slot] == kNoEntry) w.index[slot] = at;
    return at;
}

bool KeyEquals(const char* stored, const char* key, int length) {
    // Stops at the first difference; the stored key's NUL differs from every
    // key byte, so nothing past the entry is read.
    for (int i = 0; i < length; ++i)
        if (stored[i] != key[i]) return false;
    return stored[length] == 0;
}
}  // namespace

void BuildSymbolTable(AsmWork& w) {
    for (auto& b : w.buckets) b = kNoEntry;
    for (auto& e : w.index) e = kNoEntry;
    w.storageUsed = 0;
    auto enter = [&w](std::string_view name, Tok kind, std::int32_t value) {
        Append(w, name.data(), static_cast<int>(name.size()), kind, value);
    };
    ForEachKeyword(*w.family, enter);
    ForEachDialectKeyword(*w.family, w.dialect, [&enter](std::string_view name, Tok kind, std::int32_t value) {
        if (kind != Tok::DeviceParam) enter(name, kind, value);
    });
    w.keywordStorageEnd = w.storageUsed;
}

int KeywordCount(const Family& family) {
    int n = 0;
    ForEachKeyword(family, [&n](std::string_view, Tok, std::int32_t) { ++n; });
    return n;
}

std::uint32_t LookupSymbol(const AsmWork& w, const char* key, int length) {
    return w.index[IndexSlot(w, key, length)];
}

std::uint32_t LookupSymbolInChain(const AsmWork& w, const char* key, int length) {
    std::uint32_t cur = w.buckets[Hash(key, length)];
    while (cur != kNoEntry) {
        const std::uint8_t* e = w.storage + cur;
        if (KeyEquals(reinterpret_cast<const char*>(e + kKeyField), key, length)) return cur;
        cur = Read32(e + kNextField);
    }
    return kNoEntry;
}

std::uint32_t EnterSymbol(AsmWork& w, const char* key, int length, Tok kind, std::int32_t value) {
    return Append(w, key, length, kind, value);
}

Tok EntryKind(const AsmWork& w, std::uint32_t entry) { return static_cast<Tok>(w.storage[entry + kKindField]); }

std::int32_t EntryValue(const AsmWork& w, std::uint32_t entry) {
    return static_cast<std::int32_t>(Read32(w.storage + entry + kValueField));
}

void SetEntryValue(AsmWork& w, std::uint32_t entry, std::int32_t value) {
    Write32(w.storage + entry + kValueField, static_cast<std::uint32_t>(value));
}

}  // namespace korvid
