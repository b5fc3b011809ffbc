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
                     SimTimeBase base, std::string& message) {
    Abandon();
    path_ = path;
    base_ = base;
    pins_ = bonded;
    struct stat st {};
    if (stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        message = "cannot write " + path + ": it is a folder";
        return false;
    }
    temp_ = path + ".XXXXXX";
    std::string name = temp_;
    const int fd = mkstemp(name.data());
    if (fd < 0) {
        message = "cannot write " + path + ": " + std::strerror(errno);
        return false;
    }
    temp_ = name;
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
    file_ = fdopen(fd, "w");
    if (!file_) {
        message = "cannot write " + path + ": " + std::strerror(errno);
        close(fd);
        unlink(temp_.c_str());
        return false;
    }
    buffer_.resize(1 << 16);
    std::setvbuf(file_, buffer_.data(), _IOFBF, buffer_.size());
    std::fprintf(file_, "$version korvid sim $end\n$timescale 1ps $end\n$scope module %s $end\n", scope.c_str());
    for (int p = 0; p < 5; ++p)
        for (int b = 0; b < 8; ++b)
            if (pins_.bonded[p] & (1u << b))
                std::fprintf(file_, "$var wire 1 %s %s%d $end\n", Id(p * 8 + b).c_str(), PortName(p).c_str(), b);
    std::fprintf(file_, "$upscope $end\n$enddefinitions $end\n");
    return true;
}

std::uint64_t VcdWriter::Picoseconds(std::uint64_t cycle) const {
    return basePs_ + base_.Picoseconds(cycle >= baseCycle_ ? cycle - baseCycle_ : 0);
}

void VcdWriter::TimeBaseChanged(SimTimeBase base, std::uint64_t cycle) {
    basePs_ = Picoseconds(cycle);
    baseCycle_ = cycle;
    base_ = base;
}

void VcdWriter::Stamp(std::uint64_t cycle) {
    if (stamped_ && cycle <= stampCycle_) return;
    std::fprintf(file_, "#%llu\n", static_cast<unsigned long long>(Picoseconds(cycle)));
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
    for (int b = 0; b < 8; ++b)
        if (changed & (1u << b))
            std::fprintf(file_, "%c%s\n", (levels >> b) & 1 ? '1' : '0', Id(port * 8 + b).c_str());
}

void VcdWriter::Reached(std::uint64_t cycle) {
    (void)cycle;
    if (file_ && std::ferror(file_)) failed_ = true;
}

bool VcdWriter::Commit(std::uint64_t endCycle, std::string& message) {
    if (!file_) return false;
    Stamp(endCycle);
    bool ok = !failed_ && std::fflush(file_) == 0 && !std::ferror(file_) && fsync(fileno(file_)) == 0;
    const int err = errno;
    ok = std::fclose(file_) == 0 && ok;
    file_ = nullptr;
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
