#include "sim/VcdWriter.h"

namespace korvid {

VcdWriter::~VcdWriter() { Abandon(); }

bool VcdWriter::Open(const std::string& path, const std::string& scope, const StimulusPins& bonded, SimTimeBase base,
                     std::string& message, const std::vector<std::string>& registers) {
    Abandon();
    file_ = OpenOutputStream(path, message);
    if (!file_) return false;
    Begin(*file_, path, scope, bonded, base, registers);
    // A device takes what it can when the buffer fills (a failure then
    // stops the run); its header is not forced out here.
    return file_->inPlace() ? HeaderFits(message) : HeaderWritten(message);
}

bool VcdWriter::HeaderWritten(std::string& message) {
    if (!HeaderFits(message)) return false;
    Drain();
    if (!failed()) return true;
    message = "cannot write " + name() + ": " + WriteFailure();
    Abandon();
    return false;
}

bool VcdWriter::HeaderFits(std::string& message) {
    if (RoomAfterHeader()) return true;
    message = name() + ": a size limit of " + std::to_string(limit()) +
              " bytes leaves no room after the waveform's header (" + std::to_string(size()) + " bytes)";
    Abandon();
    return false;
}

bool VcdWriter::Commit(std::uint64_t endCycle, std::string& message) {
    if (!file_ || !isOpen()) return false;
    bool ok = End(endCycle);
    std::string reason = WriteFailure();
    if (file_->inPlace()) {
        std::string why;
        if (!file_->Commit(why) && ok) ok = false, reason = why;
        file_.reset();
        if (!ok) message = "cannot write " + name() + ": " + reason;
        return ok;
    }
    if (ok && file_->Commit(reason)) {
        file_.reset();
        return true;
    }
    message = "cannot write " + file_->target() + ": " + reason + "; no waveform was written";
    file_.reset();
    return false;
}

void VcdWriter::Abandon() {
    Detach();
    file_.reset();
}

}  // namespace korvid
