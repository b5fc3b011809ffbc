#include "model/WatchFormat.h"

#include "family/Layout.h"

namespace korvid {

namespace {

// Inserts "_" between groups of `size` digits counted from the right.
std::string Grouped(const std::string& digits, std::size_t size) {
    std::string out;
    out.reserve(digits.size() + digits.size() / size);
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % size == 0) out.push_back('_');
        out.push_back(digits[i]);
    }
    return out;
}

std::string Digits(std::uint64_t value, unsigned base, std::size_t minDigits) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string d;
    do {
        d.insert(d.begin(), kHex[value % base]);
        value /= base;
    } while (value != 0);
    if (d.size() < minDigits) d.insert(0, minDigits - d.size(), '0');
    return d;
}

int NumericBits(const Watch& watch) {
    int n = watch.bitCount;
    return n < 1 ? 1 : n > 32 ? 32 : n;
}

bool IsSigned(const Watch& watch) {
    return watch.format == SDEC || watch.format == SHEX || watch.format == SBIN;
}

unsigned StartAddress(const Watch& watch) { return watch.address & 0xFFu; }
unsigned BitOffset(const Watch& watch) { return (watch.address >> 8) & 7u; }

int Digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

}  // namespace

bool IsStringWatch(const Watch& watch) { return watch.format == FSTR || watch.format == ZSTR; }

int WatchRegister(const Family& family, int bankCount, unsigned address) {
    address &= 0xFFu;
    if (family.memoryFromExtFuse) address |= ForcedFsrBits(bankCount);
    return IndirectRegister(family, address);
}

std::int64_t WatchNumber(const Watch& watch, const std::uint32_t* registers, const Family& family, int bankCount) {
    std::uint64_t raw = 0;
    for (int i = 0; i < kWatchValueBytes; ++i) {
        int reg = WatchRegister(family, bankCount, StartAddress(watch) + unsigned(i));
        raw |= std::uint64_t(registers[reg] & 0xFFu) << (8 * i);
    }
    int n = NumericBits(watch);
    std::uint64_t value = (raw >> BitOffset(watch)) & ((std::uint64_t(1) << n) - 1);
    if (IsSigned(watch) && (value >> (n - 1)) & 1u) return std::int64_t(value) - (std::int64_t(1) << n);
    return std::int64_t(value);
}

std::string WatchText(const Watch& watch, const std::uint32_t* registers, const Family& family, int bankCount) {
    if (IsStringWatch(watch)) {
        std::string s = "'";
        for (int i = 0; i < watch.bitCount; ++i) {
            int reg = WatchRegister(family, bankCount, StartAddress(watch) + unsigned(i));
            char c = char(registers[reg] & 0xFFu);
            if (c == 0 && watch.format == ZSTR) break;
            s.push_back(c);
        }
        s.push_back('\'');
        return s;
    }
    std::int64_t v = WatchNumber(watch, registers, family, bankCount);
    std::uint64_t magnitude = v < 0 ? std::uint64_t(-v) : std::uint64_t(v);
    std::string sign = v < 0 ? "-" : "";
    std::size_t n = std::size_t(NumericBits(watch));
    switch (watch.format) {
        case UHEX:
        case SHEX: return sign + "$" + Grouped(Digits(magnitude, 16, (n - 1) / 4 + 1), 4);
        case UBIN:
        case SBIN: return sign + "%" + Grouped(Digits(magnitude, 2, n), 4);
        default: return sign + Grouped(Digits(magnitude, 10, 1), 3);
    }
}

namespace {
// prefix + rest, appended (GCC 12 misreads inserting a literal in front of
// a temporary string as an overlapping copy).
std::string Prefixed(std::string_view prefix, const std::string& rest) {
    std::string out(prefix);
    out += rest;
    return out;
}
}  // namespace

std::string WatchTemplate(const Watch& watch) {
    if (IsStringWatch(watch)) {
        std::string quoted(std::size_t(watch.bitCount) + 2, 'W');
        quoted.front() = quoted.back() = '\'';
        return quoted;
    }
    std::size_t n = std::size_t(NumericBits(watch));
    switch (watch.format) {
        case UHEX:
        case SHEX: return Prefixed("-$", Grouped(std::string((n - 1) / 4 + 1, 'D'), 4));
        case UBIN:
        case SBIN: return Prefixed("-%", Grouped(std::string(n, '0'), 4));
        default: {
            std::size_t digits = Digits((std::uint64_t(1) << n) - 1, 10, 1).size();
            return Prefixed("-", Grouped(std::string(digits, '0'), 3));
        }
    }
}

bool ParseWatchNumber(std::string_view text, std::uint32_t& value) {
    unsigned base = 0;  // 0: not chosen yet
    bool negative = false, digit = false;
    std::uint32_t acc = 0;
    for (char c : text) {
        if (c == '_') continue;
        if (!digit) {
            if (c == '$') {
                base = 16;
                continue;
            }
            if (c == '%') {
                base = 2;
                continue;
            }
            if (c == '-') {
                negative = !negative;
                continue;
            }
            if (base == 0) base = 10;
        }
        int d = Digit(c);
        if (d < 0 || unsigned(d) >= base) return false;
        acc = acc * base + unsigned(d);
        digit = true;
    }
    if (!digit) return false;
    value = negative ? 0u - acc : acc;
    return true;
}

WatchWrites WatchNumberWrites(const Watch& watch, std::uint32_t value, const std::uint32_t* registers,
                              const Family& family, int bankCount) {
    WatchWrites w;
    int n = NumericBits(watch);
    std::uint64_t low = (std::uint64_t(1) << n) - 1;
    std::uint64_t mask = low << BitOffset(watch);
    std::uint64_t bits = (std::uint64_t(value) & low) << BitOffset(watch);
    for (int i = 0; i < kWatchValueBytes; ++i) {
        auto m = std::uint8_t(mask >> (8 * i));
        if (m == 0) continue;
        int reg = WatchRegister(family, bankCount, StartAddress(watch) + unsigned(i));
        // Two bytes of one watch can map to the same register (a watch that
        // runs past the end of a bank): build on the earlier write then.
        std::uint8_t old = std::uint8_t(registers[reg]);
        for (int k = 0; k < w.count; ++k)
            if (w.writes[k].address == reg) old = w.writes[k].value;
        w.writes[w.count++] = {reg, std::uint8_t((old & ~m) | (std::uint8_t(bits >> (8 * i)) & m))};
    }
    return w;
}

WatchWrites WatchStringWrites(const Watch& watch, std::string_view text, const Family& family, int bankCount) {
    WatchWrites w;
    for (int i = 0; i < watch.bitCount; ++i) {
        int reg = WatchRegister(family, bankCount, StartAddress(watch) + unsigned(i));
        auto c = std::uint8_t(std::size_t(i) < text.size() ? text[std::size_t(i)] : 0);
        w.writes[w.count++] = {reg, c};
    }
    return w;
}

std::string_view WatchStringEntry(std::string_view text) {
    if (text.size() >= 2 && text.front() == '\'' && text.back() == '\'') return text.substr(1, text.size() - 2);
    return text;
}

}  // namespace korvid
