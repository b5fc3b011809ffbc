#include "sim/VcdWriter.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace korvid {

VcdWriter::~VcdWriter() { Abandon(); }

// Identifier codes of the wires: the port letter and the bit ("B6").
std::string VcdWriter::Id(int index) { return {static_cast<char>('A' + index / 8), static_cast<char>('0' + index % 8)}; }

bool VcdWriter::Open(const std::string& path, const std::string& scope, const StimulusPins& bonded,
                     SimTimeBase base, std::string& message, const std::vector<std::string>& registers) {
    Abandon();
    path_ = path;
    base_ = base;
    pins_ = bonded;
    struct stat st {};
    const bool exists = stat(path.c_str(), &st) == 0;
    if (exists && S_ISDIR(st.st_mode)) {
        message = "cannot write " + path + ": it is a folder";
        return false;
    }
    direct_ = exists && !S_ISREG(st.st_mode);
    if (direct_) {
        // A device or FIFO is written in place, as every output of the tools.
        file_ = std::fopen(path.c_str(), "w");
        if (!file_) {
            message = "cannot write " + path + ": " + std::strerror(errno);
            return false;
        }
        return WriteHeader(scope, registers, base);
    }
    // A link is followed: its target is replaced and the link stays.
    if (exists) {
        if (char* real = realpath(path.c_str(), nullptr)) {
            path_ = real;
            std::free(real);
        }
    }
    temp_ = path_ + ".XXXXXX";
    std::string name = temp_;
    const int fd = mkstemp(name.data());
    if (fd < 0) {
        message = "cannot write " + path + ": " + std::strerror(errno);
        return false;
    }
    temp_ = name;
    // The old file's permissions, else those of a new file.
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, exists ? (st.st_mode & 07777) : (0666 & ~mask));
    file_ = fdopen(fd, "w");
    if (!file_) {
        message = "cannot write " + path + ": " + std::strerror(errno);
        close(fd);
        unlink(temp_.c_str());
        return false;
    }
    return WriteHeader(scope, registers, base);
}

bool VcdWriter::WriteHeader(const std::string& scope, const std::vector<std::string>& registers, SimTimeBase base) {
    out_.reserve(1 << 17);
    std::fprintf(file_, "$version korvid sim $end\n$timescale 1ps $end\n$scope module %s $end\n", scope.c_str());
    for (int p = 0; p < 5; ++p)
        for (int b = 0; b < 8; ++b)
            if (pins_.bonded[p] & (1u << b))
                std::fprintf(file_, "$var wire 1 %s %s%d $end\n", Id(p * 8 + b).c_str(), PortName(p).c_str(), b);
    for (std::size_t i = 0; i < registers.size(); ++i)
        std::fprintf(file_, "$var reg 8 R%zu %s $end\n", i, registers[i].c_str());
    std::fprintf(file_, "$upscope $end\n$enddefinitions $end\n");
    baseCycle_ = basePs_ = 0;
    stamped_ = false;
    for (bool& k : known_) k = false;
    TimeBaseChanged(base, 0);
    return true;
}

std::uint64_t VcdWriter::Picoseconds(std::uint64_t cycle) const {
    const std::uint64_t n = cycle >= baseCycle_ ? cycle - baseCycle_ : 0;
    // Clocks whose cycle is a whole number of picoseconds (50 MHz: 20,000)
    // need no division.
    if (psPerCycle_ && n < (~0ull >> 1) / psPerCycle_) return basePs_ + n * psPerCycle_;
    return basePs_ + base_.Picoseconds(n);
}

void VcdWriter::TimeBaseChanged(SimTimeBase base, std::uint64_t cycle) {
    basePs_ = Picoseconds(cycle);
    baseCycle_ = cycle;
    base_ = base;
    const std::uint64_t num = 1'000'000'000'000ull * static_cast<unsigned>(base.clocksPerCycle);
    psPerCycle_ = base.clockHz && num % base.clockHz == 0 ? num / base.clockHz : 0;
}

void VcdWriter::Put(const char* text, std::size_t size) {
    out_.append(text, size);
    if (out_.size() >= (1u << 16)) Drain();
}

void VcdWriter::Drain() {
    if (!file_ || out_.empty()) return;
    if (std::fwrite(out_.data(), 1, out_.size(), file_) != out_.size()) failed_ = true;
    out_.clear();
}

void VcdWriter::Stamp(std::uint64_t cycle) {
    if (stamped_ && cycle <= stampCycle_) return;
    char text[24];
    char* p = text + sizeof text;
    *--p = '\n';
    std::uint64_t ps = Picoseconds(cycle);
    do {
        *--p = static_cast<char>('0' + ps % 10);
        ps /= 10;
    } while (ps);
    *--p = '#';
    Put(p, static_cast<std::size_t>(text + sizeof text - p));
    stamped_ = true;
    stampCycle_ = cycle;
}

void VcdWriter::PinsChanged(int port, std::uint8_t levels, std::uint64_t cycle) {
    if (!file_ || port < 0 || port >= 5) return;
    const std::uint8_t bonded = pins_.bonded[port];
    const std::uint8_t changed =
        static_cast<std::uint8_t>((known_[port] ? (last_[port] ^ levels) : 0xFF) & bonded);
    known_[port] = true;
    last_[port] = levels;
    if (!changed) return;
    Stamp(cycle);
    const char letter = static_cast<char>('A' + port);
    for (int b = 0; b < 8; ++b)
        if (changed & (1u << b)) {
            const char line[4] = {(levels >> b) & 1 ? '1' : '0', letter, static_cast<char>('0' + b), '\n'};
            Put(line, sizeof line);
        }
}

void VcdWriter::RegisterChanged(int index, std::uint8_t value, std::uint64_t cycle) {
    if (!file_) return;
    Stamp(cycle);
    char line[32];
    const int n = std::snprintf(line, sizeof line, "b%d%d%d%d%d%d%d%d R%d\n", (value >> 7) & 1, (value >> 6) & 1,
                                (value >> 5) & 1, (value >> 4) & 1, (value >> 3) & 1, (value >> 2) & 1,
                                (value >> 1) & 1, value & 1, index);
    Put(line, static_cast<std::size_t>(n));
}

void VcdWriter::Reached(std::uint64_t cycle) {
    (void)cycle;
    if (file_ && std::ferror(file_)) failed_ = true;
}

bool VcdWriter::Commit(std::uint64_t endCycle, std::string& message) {
    if (!file_) return false;
    Stamp(endCycle);
    Drain();
    bool ok = !failed_ && std::fflush(file_) == 0 && !std::ferror(file_) && (direct_ || fsync(fileno(file_)) == 0);
    const int err = errno;
    ok = std::fclose(file_) == 0 && ok;
    file_ = nullptr;
    if (direct_) {
        if (!ok) message = "cannot write " + path_ + ": " + std::strerror(err);
        return ok;
    }
    if (ok && std::rename(temp_.c_str(), path_.c_str()) == 0) {
        temp_.clear();
        return true;
    }
    message = "cannot write " + path_ + ": " + std::strerror(ok ? errno : err) + "; no waveform was written";
    unlink(temp_.c_str());
    temp_.clear();
    return false;
}

void VcdWriter::Abandon() {
    if (file_) std::fclose(file_);
    file_ = nullptr;
    if (!temp_.empty()) unlink(temp_.c_str());
    temp_.clear();
}

}  // namespace korvid
