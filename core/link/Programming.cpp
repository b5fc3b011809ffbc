#include "core/link/Programming.h"

#include "core/link/Clock.h"
#include "core/link/Link.h"
#include "core/link/LinkError.h"

namespace korvid {

namespace {
// Hides the progress window however the operation ends.
class ProgressScope {
public:
    explicit ProgressScope(LinkObserver& o) : observer_(o) {}
    ~ProgressScope() { observer_.HideProgress(); }
    ProgressScope(const ProgressScope&) = delete;
    ProgressScope& operator=(const ProgressScope&) = delete;

private:
    LinkObserver& observer_;
};

void SetBlockTimeout(Link& link, std::uint8_t pulse, std::uint32_t words) {
    link.ReplyTimeout = pulse * words + 1000;
}

// One progress step per 1/32 of the program words.
bool ProgressStepAt(int i, int words) {
    int stride = words / 32;
    return stride > 0 && (i + 1) % stride == 0;
}
}  // namespace

bool StopsClockBeforeProgramming(const Family& family, std::uint8_t version) {
    bool equal = version == family.stopClockVersion;
    return family.stopClockUnlessVersion ? !equal : equal;
}

void EraseDevice(Link& link) { EraseDevice(link, NoLinkObserver()); }

void EraseDevice(Link& link, LinkObserver& observer) {
    constexpr int kSteps = kProgressMax / kProgressStep;
    int remaining = kEraseTime;
    int shown = 0;
    while (remaining != 0) {
        int n = remaining < 256 ? remaining : 255;
        link.SendByte(kCmdErase);
        link.SendByte(static_cast<std::uint8_t>(n));
        link.Flush();
        link.ReplyTimeout = static_cast<std::uint32_t>(n) + 1000;
        link.CheckStatus();
        remaining -= n;
        for (const int due = (kEraseTime - remaining) * kSteps / kEraseTime; shown < due; ++shown)
            observer.StepProgress();
    }
}

std::uint16_t ProgramFuseAndMeasure(Link& link, std::uint16_t word) {
    link.SendByte(kCmdProgram);
    link.Flush();
    link.CheckStatus();
    link.SendByte(kBlockExtFuse);
    link.SendByte(kFusePulse);
    link.SendWord(word);
    link.Flush();
    SetBlockTimeout(link, kFusePulse, 1);
    link.CheckStatus();
    link.SendByte(kCmdEnd);
    link.Flush();
    std::uint16_t count = link.ReceiveWord();
    (void)link.ReceiveByte();
    return count;
}

std::uint16_t ExtFuseToProgram(const Family& family, std::uint16_t x, int t) {
    return static_cast<std::uint16_t>(WithIrcTrim(x | family.linkExtFuseSet, t) & kWordMask);
}

std::uint16_t FuseToProgram(const Family& family, std::uint16_t fuse) {
    return static_cast<std::uint16_t>((fuse | family.linkFuseSet) & kWordMask);
}

void RequireProgramData(const AssemblyState& state) {
    const Image& image = state.DeviceImage;
    const int words = ProgramSize(*state.family, image[kExtFuseIndex]);
    for (int i = 0; i < words; ++i) {
        const std::uint16_t w = image[static_cast<std::size_t>(i)];
        if ((w & kDataFlag) || (w & kWordMask) != 0x0FFF) return;
    }
    throw LinkFailure("Nothing to program: the image holds no program words, so the chip was not erased");
}

void ReleaseChip(Link& link) {
    link.SendByte(kCmdRelease);
    link.Flush();
    link.CheckStatus();
}

void ProgramDevice(Link& link, AssemblyState& state, IrcSettings& irc, LinkObserver& observer, bool run) {
    const Family& family = *state.family;
    const Image& image = state.DeviceImage;
    link.OpenLink();
    bool calibrated = false;
    {
        ProgressScope scope(observer);
        if (StopsClockBeforeProgramming(family, link.FirmwareVersion)) StopClock(link);
        // A source's IRC_CAL chooses for its own image; the setting holds otherwise.
        const IrcMode mode = state.IrcCalibration.value_or(irc.mode);
        SettleTrim(link, irc, mode, observer);
        calibrated = mode == IrcMode::FourMhz;

        observer.ShowProgress("Erasing...");
        EraseDevice(link);
        observer.ShowProgress("Programming...");

        std::uint16_t ext = ExtFuseToProgram(family, image[kExtFuseIndex], irc.trim);
        std::uint16_t fuse = FuseToProgram(family, image[kFuseIndex]);
        if ((ext & 0x800) == 0) (void)ProgramFuseAndMeasure(link, static_cast<std::uint16_t>(ext | 0x800));

        link.SendByte(kCmdProgram);
        link.Flush();
        link.CheckStatus();
        link.SendByte(kBlockFuses);
        link.SendByte(kFusePulse);
        link.SendWord(ext);
        link.SendWord(fuse);
        SetBlockTimeout(link, kFusePulse, 2);

        // The 28L sends as many program words as its own extended fuse word
        // selects; the programmed word differs only in bits that do not
        // touch the memory code.
        const int words = ProgramSize(family, image[kExtFuseIndex]);
        for (int i = 0; i < words; ++i) {
            if (i % 32 == 0) {
                link.Flush();
                link.CheckStatus();
                link.SendByte(kBlockProgram);
                link.SendByte(kWordPulse);
                SetBlockTimeout(link, kWordPulse, 32);
            }
            if (ProgressStepAt(i, words)) observer.StepProgress();
            link.SendWord(image[static_cast<std::size_t>(i)] & kWordMask);
        }
        link.Flush();
        link.CheckStatus();
        link.SendByte(kBlockId);
        link.SendByte(kWordPulse);
        SetBlockTimeout(link, kWordPulse, 16);
        for (int i = 0; i < kIdWords; ++i) link.SendWord(image[static_cast<std::size_t>(kIdBase + i)] & kWordMask);
        link.Flush();
        link.CheckStatus();
        link.SendByte(kCmdEnd);
        link.Flush();
        (void)link.ReceiveWord();
        (void)link.ReceiveByte();

        if (run) StartClock(link, state.ClockFrequency);
        ReleaseChip(link);
        link.CloseLink();
    }
    if (calibrated) observer.ShowIrcResults(MakeIrcResults(irc));
}

void ReadDevice(Link& link, AssemblyState& state, LinkObserver& observer, std::string_view message) {
    const Family& family = *state.family;
    Image& image = state.DeviceImage;
    link.OpenLink();
    ProgressScope scope(observer);
    link.SendByte(kCmdRead);
    link.Flush();
    link.CheckStatus();
    observer.ShowProgress(message);

    link.SendByte(kReadConfig);
    link.Flush();
    (void)link.ReceiveWord();
    image[kExtFuseIndex] = link.ReceiveWord();
    image[kFuseIndex] = link.ReceiveWord();

    const int words = ProgramSize(family, image[kExtFuseIndex]);
    for (int i = 0; i < words; ++i) {
        if (i % kReadBlockWords == 0) {
            link.CheckStatus();
            link.SendByte(kReadProgramBlock);
            link.Flush();
        }
        if (ProgressStepAt(i, words)) observer.StepProgress();
        image[static_cast<std::size_t>(i)] = link.ReceiveWord();
    }
    link.CheckStatus();
    link.SendByte(kReadId);
    link.Flush();
    for (int i = 0; i < kIdWords; ++i) image[static_cast<std::size_t>(kIdBase + i)] = link.ReceiveWord();
    link.CheckStatus();
    link.SendByte(kCmdEnd);
    link.Flush();
    (void)link.ReceiveWord();
    (void)link.ReceiveByte();
    ReleaseChip(link);
    link.CloseLink();
}

}  // namespace korvid
