#include "platform/SerialTerminal.h"

#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>

namespace korvid {

namespace {

class PseudoTerminal final : public SerialTerminal {
public:
    ~PseudoTerminal() override {
        if (closeWatch_ >= 0) ::close(closeWatch_);
        if (slave_ >= 0) ::close(slave_);
        if (master_ >= 0) ::close(master_);
    }

    bool Open(std::string* reason) {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        const char* name = nullptr;
        if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0 || !(name = ::ptsname(master_))) {
            if (reason) *reason = std::string("cannot create a pseudo-terminal: ") + std::strerror(errno);
            return false;
        }
        path_ = name;
        // Our own hold on the slave keeps the terminal alive between clients
        // (the master would otherwise report a hang-up), and sets it raw.
        slave_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (slave_ < 0) {
            if (reason) *reason = "cannot open " + path_ + ": " + std::strerror(errno);
            return false;
        }
        termios t{};
        if (::tcgetattr(slave_, &t) == 0) {
            ::cfmakeraw(&t);
            (void)::tcsetattr(slave_, TCSANOW, &t);
        }
        (void)::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
        // A client's close, seen by its "close after write" (ours never comes:
        // our descriptor stays open). Without the watch a client that set the
        // exclusive flag would keep the port from everyone after it ended.
        closeWatch_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (closeWatch_ >= 0 && ::inotify_add_watch(closeWatch_, name, IN_CLOSE_WRITE) < 0) {
            ::close(closeWatch_);
            closeWatch_ = -1;
        }
        return true;
    }

    const std::string& path() const override { return path_; }

    std::size_t Read(std::uint8_t* data, std::size_t size) override {
        const ssize_t n = ::read(master_, data, size);
        return n > 0 ? static_cast<std::size_t>(n) : 0;
    }

    bool Write(std::uint8_t byte) override {
        for (;;) {
            const ssize_t n = ::write(master_, &byte, 1);
            if (n == 1) return true;
            if (n < 0 && errno == EINTR) continue;
            return false;
        }
    }

    void ReleaseAfterClientClose() override {
        if (closeWatch_ < 0) return;
        char events[4096];
        bool closed = false;
        while (::read(closeWatch_, events, sizeof events) > 0) closed = true;
        // The flag outlives the client that set it while our descriptor keeps
        // the terminal open: clear it. A second client still holding the port
        // only loses its exclusivity.
        int exclusive = 0;
        if (closed && ::ioctl(slave_, TIOCGEXCL, &exclusive) == 0 && exclusive) (void)::ioctl(slave_, TIOCNXCL);
    }

private:
    int master_ = -1, slave_ = -1;
    int closeWatch_ = -1;  // inotify: a client's close
    std::string path_;
};

}  // namespace

std::unique_ptr<SerialTerminal> OpenSerialTerminal(std::string* reason) {
    auto terminal = std::make_unique<PseudoTerminal>();
    if (!terminal->Open(reason)) return nullptr;
    return terminal;
}

}  // namespace korvid
