#include "sim/ToolFirmware.h"

#include "core/asm/AssemblyState.h"
#include "core/link/Protocol.h"
#include "core/link/Scrambler.h"

namespace korvid {

ToolFirmware::ToolFirmware(const Family& family, const ToolOptions& options)
    : family_(family), options_(options), chip_(family) {
    if (options_.brandel) options_.seed = kLinkKey;
}

void ToolFirmware::Receive(const std::uint8_t* data, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i) Receive(data[i]);
}

void ToolFirmware::Receive(std::uint8_t wire) {
    if (options_.silentAfterBytes >= 0 && bytesIn_ >= static_cast<std::uint64_t>(options_.silentAfterBytes)) return;
    ++bytesIn_;
    output_.push_back(wire);  // echo, raw
    ++bytesOut_;
    if (options_.garbageAfterBytes >= 0 && bytesIn_ > static_cast<std::uint64_t>(options_.garbageAfterBytes)) {
        junk_ = junk_ * 1103515245u + 12345u;
        output_.push_back(static_cast<std::uint8_t>(junk_ >> 16));
        ++bytesOut_;
    }
    if (!connected_) {
        Detect(wire);
        return;
    }
    std::uint8_t plain = ToolDecode(scramble_, wire);
    if (plainLog) plainLog->push_back(plain);
    Process(plain);
}

std::size_t ToolFirmware::TakeOutput(std::uint8_t* out, std::size_t max) {
    std::size_t n = 0;
    while (n < max && !output_.empty()) {
        out[n++] = output_.front();
        output_.pop_front();
    }
    return n;
}

void ToolFirmware::Disconnect() {
    connected_ = false;
    detectMatched_ = 0;
    expect_ = Expect::Command;
    scramble_ = 0;
    output_.clear();
}

void ToolFirmware::Detect(std::uint8_t b) {
    // Sliding match of the detection text; anything else is ignored.
    if (b == static_cast<std::uint8_t>(kDetectText[detectMatched_])) {
        ++detectMatched_;
    } else {
        detectMatched_ = b == static_cast<std::uint8_t>(kDetectText[0]) ? 1 : 0;
    }
    if (kDetectText[detectMatched_] != '\0') return;
    detectMatched_ = 0;
    for (int i = 0; kDetectReply[i]; ++i) {
        std::uint8_t c = static_cast<std::uint8_t>(kDetectReply[i]);
        if (i == options_.badDetectIndex) c = static_cast<std::uint8_t>(c ^ 0x20);
        output_.push_back(c);
    }
    output_.push_back(static_cast<std::uint8_t>(options_.seed & 0xFF));
    output_.push_back(static_cast<std::uint8_t>(options_.seed >> 8));
    bytesOut_ += 8;
    scramble_ = static_cast<std::uint16_t>(options_.seed ^ kLinkKey);
    connected_ = true;
    expect_ = Expect::Command;
    Emit(options_.firmwareVersion);
}

void ToolFirmware::Emit(std::uint8_t plain) {
    output_.push_back(ToolEncode(scramble_, plain));
    ++bytesOut_;
}

void ToolFirmware::EmitWord(std::uint16_t w) {
    Emit(WireWordLow(w));
    Emit(WireWordHigh(w));
}

void ToolFirmware::EmitStatus(std::uint8_t status) {
    if (options_.failStatus >= 0 && !faultUsed_ && statusesSent_ >= options_.failAfterStatuses) {
        faultUsed_ = true;
        status = static_cast<std::uint8_t>(options_.failStatus);
    }
    ++statusesSent_;
    Emit(status);
}

void ToolFirmware::Process(std::uint8_t b) {
    switch (expect_) {
        case Expect::Command:
            Command(b);
            return;
        case Expect::EraseLength:
            chip_.Erase();
            runner_->ChipChanged(chip_);
            expect_ = Expect::Command;
            EmitStatus(kStatusOk);
            return;
        case Expect::ClockBytes:
            argBytes_[argCount_++] = b;
            if (argCount_ < 3) return;
            expect_ = Expect::Command;
            if (options_.brandel) {
                EmitStatus(kStatusCommunication);
                return;
            }
            chip_.clockSetting = argBytes_[0] | (argBytes_[1] << 8) | (std::uint32_t(argBytes_[2]) << 16);
            chip_.clockRunning = true;
            runner_->ChipChanged(chip_);
            EmitStatus(kStatusOk);
            return;
        case Expect::StateCount: {
            expect_ = Expect::Command;
            std::uint8_t state[256] = {};
            runner_->ReadState(chip_, b, state);
            for (int i = 0; i < b; ++i) Emit(state[i]);
            return;
        }
        case Expect::PayloadCount:
            argCount_ = 0;
            argWanted_ = b;
            expect_ = Expect::PayloadBytes;
            if (argWanted_ == 0) {
                expect_ = Expect::Command;
                if (!options_.brandel) runner_->Payload(chip_, argBytes_, 0);
            }
            return;
        case Expect::PayloadBytes:
            argBytes_[argCount_++] = b;
            if (argCount_ < argWanted_) return;
            expect_ = Expect::Command;
            if (!options_.brandel) runner_->Payload(chip_, argBytes_, argCount_);
            return;
        case Expect::BlockHeader: {
            if (b == kCmdEnd) {
                expect_ = Expect::Command;
                EmitWord(lastCount_);
                Emit(0);
                return;
            }
            if (BlockWordCount(b) < 0) {
                expect_ = Expect::Command;
                EmitStatus(kStatusCommunication);
                return;
            }
            blockHeader_ = b;
            expect_ = Expect::BlockPulse;
            return;
        }
        case Expect::BlockPulse:
            argCount_ = 0;
            argWanted_ = static_cast<std::size_t>(BlockWordCount(blockHeader_)) * 2;
            expect_ = Expect::BlockWords;
            return;
        case Expect::BlockWords:
            argBytes_[argCount_++] = b;
            if (argCount_ == argWanted_) FinishBlock();
            return;
        case Expect::ReadRequest:
            switch (b) {
                case kCmdEnd:
                    expect_ = Expect::Command;
                    EmitWord(0);
                    Emit(0);
                    return;
                case kReadConfig:
                    EmitWord(family_.partWord);
                    EmitWord(chip_.flash[kExtFuseIndex]);
                    EmitWord(chip_.flash[kFuseIndex]);
                    break;
                case kReadProgramBlock:
                    for (int i = 0; i < kReadBlockWords; ++i, ++readNext_)
                        EmitWord(readNext_ < kProgramWords ? chip_.flash[static_cast<std::size_t>(readNext_)] : 0x0FFF);
                    break;
                case kReadId:
                    for (int i = 0; i < kIdWords; ++i) EmitWord(chip_.flash[static_cast<std::size_t>(kIdBase + i)]);
                    break;
                default:
                    expect_ = Expect::Command;
                    EmitStatus(kStatusCommunication);
                    return;
            }
            EmitStatus(kStatusOk);
            return;
    }
}

void ToolFirmware::FinishBlock() {
    auto word = [&](std::size_t i) {
        return WireWord(argBytes_[2 * i], argBytes_[2 * i + 1]);
    };
    switch (blockHeader_) {
        case kBlockExtFuse:
            chip_.ProgramWord(kExtFuseIndex, word(0));
            lastCount_ = chip_.MeasureIrc();
            break;
        case kBlockFuses:
            chip_.ProgramWord(kExtFuseIndex, word(0));
            chip_.ProgramWord(kFuseIndex, word(1));
            break;
        case kBlockProgram:
            for (std::size_t i = 0; i < std::size_t(BlockWordCount(kBlockProgram)); ++i) chip_.ProgramWord(programNext_++, word(i));
            break;
        case kBlockId:
            for (std::size_t i = 0; i < std::size_t(kIdWords); ++i) chip_.ProgramWord(kIdBase + static_cast<int>(i), word(i));
            break;
    }
    runner_->ChipChanged(chip_);
    expect_ = Expect::BlockHeader;
    EmitStatus(kStatusOk);
}

void ToolFirmware::Command(std::uint8_t c) {
    switch (c) {
        case kCmdEnd:
            // End of the connection: the next client detects the tool again.
            connected_ = false;
            detectMatched_ = 0;
            scramble_ = 0;
            return;
        case kCmdErase: expect_ = Expect::EraseLength; return;
        case kCmdProgram:
            programNext_ = 0;
            lastCount_ = 0;
            expect_ = Expect::BlockHeader;
            EmitStatus(kStatusOk);
            return;
        case kCmdRead:
            readNext_ = 0;
            expect_ = Expect::ReadRequest;
            EmitStatus(kStatusOk);
            return;
        case kCmdRelease:
            runner_->Release(chip_);
            EmitStatus(kStatusOk);
            return;
        case kCmdPoll:
            if (!options_.brandel) Emit(runner_->RunState(chip_));
            return;
        case kCmdReadState:
            if (options_.brandel) return;
            expect_ = Expect::StateCount;
            return;
        case kCmdPayload: expect_ = Expect::PayloadCount; return;
        case kCmdSetClock:
            argCount_ = 0;
            expect_ = Expect::ClockBytes;
            return;
        case kCmdStopClock:
            if (!options_.brandel) {
                chip_.clockRunning = false;
                runner_->ChipChanged(chip_);
            }
            return;
        default: EmitStatus(kStatusCommunication); return;
    }
}

}  // namespace korvid
