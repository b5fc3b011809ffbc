#include "sim/VcdDump.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace korvid {

// Identifier codes of the wires: the port letter and the bit ("B6").
std::string VcdDump::Id(int index) { return {static_cast<char>('A' + index / 8), static_cast<char>('0' + index % 8)}; }

void VcdDump::Begin(ByteSink& sink, const std::string& name, const std::string& scope, const StimulusPins& bonded,
                    SimTimeBase base, const std::vector<std::string>& registers) {
    sink_ = &sink;
    given_ = name;
    pins_ = bonded;
    base_ = base;
    if (!buffer_) buffer_ = std::make_unique<char[]>(kBufferSize);
    used_ = 0;
    writeFailure_.clear();
    failed_ = false;
    written_ = 0;
    limitCycle_ = kNoCycle;
    PutText("$version korvid sim $end\n$timescale 1ps $end\n$scope module " + scope + " $end\n");
    for (int p = 0; p < 5; ++p)
        for (int b = 0; b < 8; ++b)
            if (pins_.bonded[p] & (1u << b))
                PutText("$var wire 1 " + Id(p * 8 + b) + " " + PortName(p) + std::to_string(b) + " $end\n");
    for (std::size_t i = 0; i < registers.size(); ++i)
        PutText("$var reg 8 R" + std::to_string(i) + " " + registers[i] + " $end\n");
    PutText("$upscope $end\n$enddefinitions $end\n");
    baseCycle_ = basePs_ = 0;
    stamped_ = false;
    highSize_ = 0;
    for (bool& k : known_) k = false;
    TimeBaseChanged(base, 0);
}

std::uint64_t VcdDump::Picoseconds(std::uint64_t cycle) const {
    const std::uint64_t n = cycle >= baseCycle_ ? cycle - baseCycle_ : 0;
    // Clocks whose cycle is a whole number of picoseconds (50 MHz: 20,000)
    // need no division.
    if (n < exactCycles_) return basePs_ + n * psPerCycle_;
    return basePs_ + base_.Picoseconds(n);
}

void VcdDump::TimeBaseChanged(SimTimeBase base, std::uint64_t cycle) {
    basePs_ = Picoseconds(cycle);
    baseCycle_ = cycle;
    base_ = base;
    const std::uint64_t num = 1'000'000'000'000ull * static_cast<unsigned>(base.clocksPerCycle);
    psPerCycle_ = base.clockHz && num % base.clockHz == 0 ? num / base.clockHz : 0;
    exactCycles_ = psPerCycle_ ? (~0ull >> 1) / psPerCycle_ : 0;
}

void VcdDump::Put(const char* text, std::size_t size) {
    while (size > 0) {
        const std::size_t n = std::min(size, kBufferSize - used_);
        std::memcpy(buffer_.get() + used_, text, n);
        used_ += n;
        text += n;
        size -= n;
        if (used_ == kBufferSize) Drain();
    }
}

void VcdDump::Drain() {
    const char* p = buffer_.get();
    std::size_t left = used_;
    used_ = 0;
    if (!sink_ || failed_ || left == 0) return;
    if (!sink_->Write(p, left, writeFailure_)) {
        failed_ = true;
        RaiseStop();
        return;
    }
    written_ += left;
}

namespace {

constexpr char kPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// Writes the eight decimal digits of `v` (below 10^8) ending at `end`, in
// two independent halves of four.
void PutDigits(char* end, std::uint64_t v) {
    const unsigned hi = static_cast<unsigned>(v / 10'000), lo = static_cast<unsigned>(v % 10'000);
    std::memcpy(end - 8, kPairs + 2 * (hi / 100), 2);
    std::memcpy(end - 6, kPairs + 2 * (hi % 100), 2);
    std::memcpy(end - 4, kPairs + 2 * (lo / 100), 2);
    std::memcpy(end - 2, kPairs + 2 * (lo % 100), 2);
}

}  // namespace

// Time stamps take the most of a busy dump's formatting. They split into
// the picoseconds below 10^8, formatted each time, and those above, whose
// digits change only every 100 us and are kept.
void VcdDump::Stamp(std::uint64_t cycle) {
    if (stamped_ && cycle <= stampCycle_) return;
    constexpr std::uint64_t kLow = 100'000'000;
    const std::uint64_t ps = Picoseconds(cycle);
    const std::uint64_t high = ps / kLow, low = ps % kLow;
    if (high != highValue_ || highSize_ == 0) {
        highValue_ = high;
        char text[24];
        char* const end = text + sizeof text;
        char* p = end;
        for (std::uint64_t v = high; v; v /= 10) *--p = static_cast<char>('0' + v % 10);
        highSize_ = static_cast<int>(end - p);
        std::memcpy(highText_ + 1, p, static_cast<std::size_t>(highSize_));
        highText_[0] = '#';
        ++highSize_;
    }
    char* out = Reserve(32);
    std::size_t size;
    if (high) {
        // A fixed 16 bytes (at most "#" and 12 digits are used): a copy of
        // constant size needs no call; the digits overwrite the rest.
        std::memcpy(out, highText_, 16);
        PutDigits(out + highSize_ + 8, low);
        size = static_cast<std::size_t>(highSize_) + 8;
    } else {
        char digits[8];
        PutDigits(digits + 8, low);
        const char* first = digits;
        while (first < digits + 7 && *first == '0') ++first;
        const std::size_t n = static_cast<std::size_t>(digits + 8 - first);
        out[0] = '#';
        std::memcpy(out + 1, first, n);
        size = n + 1;
    }
    out[size++] = '\n';
    used_ += size;
    stamped_ = true;
    stampCycle_ = cycle;
}

void VcdDump::PinsChanged(int port, std::uint8_t levels, std::uint64_t cycle) {
    if (!sink_ || port < 0 || port >= 5) return;
    const std::uint8_t bonded = pins_.bonded[port];
    const std::uint8_t changed =
        static_cast<std::uint8_t>((known_[port] ? (last_[port] ^ levels) : 0xFF) & bonded);
    known_[port] = true;
    last_[port] = levels;
    if (!changed || !Room(cycle)) return;
    Stamp(cycle);
    // At most eight lines of four bytes: "1B6\n".
    char* out = Reserve(32);
    char* const start = out;
    const char letter = static_cast<char>('A' + port);
    for (unsigned bits = changed; bits; bits &= bits - 1) {
        const int b = __builtin_ctz(bits);
        out[0] = (levels >> b) & 1 ? '1' : '0';
        out[1] = letter;
        out[2] = static_cast<char>('0' + b);
        out[3] = '\n';
        out += 4;
    }
    used_ += static_cast<std::size_t>(out - start);
}

void VcdDump::RegisterChanged(int index, std::uint8_t value, std::uint64_t cycle) {
    if (!sink_ || !Room(cycle)) return;
    Stamp(cycle);
    char line[32];
    const int n = std::snprintf(line, sizeof line, "b%d%d%d%d%d%d%d%d R%d\n", (value >> 7) & 1, (value >> 6) & 1,
                                (value >> 5) & 1, (value >> 4) & 1, (value >> 3) & 1, (value >> 2) & 1,
                                (value >> 1) & 1, value & 1, index);
    Put(line, static_cast<std::size_t>(n));
}

void VcdDump::Reached(std::uint64_t cycle) { (void)cycle; }

bool VcdDump::Room(std::uint64_t cycle) {
    if (failed_ || limitReached()) return false;
    if (!limit_ || written_ + used_ + kRecordRoom + kEndRoom <= limit_) return true;
    limitCycle_ = cycle;
    RaiseStop();
    return false;
}

std::string VcdDump::LimitMessage() const {
    const std::uint64_t ps = Picoseconds(limitCycle_);
    char time[48];
    std::snprintf(time, sizeof time, "%llu.%06llu us", static_cast<unsigned long long>(ps / 1'000'000),
                  static_cast<unsigned long long>(ps % 1'000'000));
    return given_ + ": the waveform reached its size limit of " + std::to_string(limit_) + " bytes at " + time +
           "; the run stopped there";
}

bool VcdDump::End(std::uint64_t endCycle) {
    if (!sink_) return false;
    // Past the limit nothing more was recorded: the waveform ends there.
    Stamp(limitReached() ? std::min(endCycle, limitCycle_) : endCycle);
    Drain();
    sink_ = nullptr;
    return !failed_;
}

}  // namespace korvid
