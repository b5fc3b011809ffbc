// The POSIX side of the platform layer where it is more than moved code:
// file names, what a name leads to, workers, quit requests, the chip's
// serial terminal, and the pure waveform written into a byte sink.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <set>
#include <string>
#include <unistd.h>

#include "family/Family.h"
#include "platform/FileIo.h"
#include "platform/Path.h"
#include "platform/QuitRequests.h"
#include "platform/SerialTerminal.h"
#include "platform/Workers.h"
#include "sim/VcdDump.h"

namespace korvid {
namespace {

TEST(PlatformPath, SplitsAndJoinsNames) {
    struct Case {
        const char* path;
        const char* folder;
        const char* name;
        const char* beside;  // BesideFile(path, "b.src")
    };
    const Case cases[] = {
        {"a.src", ".", "a.src", "b.src"},
        {"/a.src", "/", "a.src", "/b.src"},
        {"src/a.src", "src", "a.src", "src/b.src"},
        {"/x/y/a.test", "/x/y", "a.test", "/x/y/b.src"},
        {"dir/", "dir", "", "dir/b.src"},
        {"", ".", "", "b.src"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(FolderOf(c.path), c.folder);
        EXPECT_EQ(NameOf(c.path), c.name);
        EXPECT_EQ(BesideFile(c.path, "b.src"), c.beside);
    }
    // A name from the root stays as it is beside any file.
    EXPECT_EQ(BesideFile("src/a.test", "/lib/b.src"), "/lib/b.src");
    EXPECT_TRUE(IsAbsolutePath("/a"));
    EXPECT_FALSE(IsAbsolutePath("a/b"));
    EXPECT_FALSE(IsAbsolutePath(""));
}

TEST(PlatformFiles, StatusOfEachKind) {
    char name[] = "/tmp/korvid-status-XXXXXX";
    const int fd = mkstemp(name);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, "12345", 5), 5);
    close(fd);
    const FileStatus file = StatusOf(name);
    EXPECT_TRUE(file.exists && file.regular && !file.folder);
    EXPECT_EQ(file.size, 5u);
    const FileStatus folder = StatusOf("/tmp");
    EXPECT_TRUE(folder.exists && folder.folder && !folder.regular);
    const FileStatus device = StatusOf("/dev/null");
    EXPECT_TRUE(device.exists && !device.folder && !device.regular);
    unlink(name);
    EXPECT_FALSE(StatusOf(name).exists);
}

TEST(PlatformWorkers, ResultsComeBackUnderTheirTagsAndACrashIsNamed) {
    WorkerPool pool;
    std::string reason;
    // Larger than a pipe's buffer: the result is read while the worker writes.
    const std::string big(200000, 'x');
    ASSERT_TRUE(pool.Start(7, [] { return std::string("seven"); }, reason)) << reason;
    ASSERT_TRUE(pool.Start(8, [&] { return big; }, reason)) << reason;
    ASSERT_TRUE(pool.Start(9, []() -> std::string { std::abort(); }, reason)) << reason;
    EXPECT_EQ(pool.running(), 3u);
    std::set<std::size_t> seen;
    while (pool.running() > 0) {
        ASSERT_TRUE(pool.Wait(
            [&](std::size_t tag, const WorkerEnd& end) {
                seen.insert(tag);
                if (tag == 7) {
                    EXPECT_EQ(end.kind, WorkerEnd::Kind::Result);
                    EXPECT_EQ(end.result, "seven");
                } else if (tag == 8) {
                    EXPECT_EQ(end.kind, WorkerEnd::Kind::Result);
                    EXPECT_EQ(end.result, big);
                } else {
                    EXPECT_EQ(end.kind, WorkerEnd::Kind::Signalled);
                    EXPECT_EQ(end.signal, SIGABRT);
                    EXPECT_FALSE(end.signalName.empty());
                }
            },
            reason))
            << reason;
    }
    EXPECT_EQ(seen, (std::set<std::size_t>{7, 8, 9}));
}

TEST(PlatformQuitRequests, EachSignalBecomesItsRequestOncePerProcess) {
    int descriptor = -1;
    ASSERT_TRUE(OpenQuitRequests(descriptor));
    int second = -1;
    EXPECT_FALSE(OpenQuitRequests(second));  // one pipe a process
    QuitRequest request;
    EXPECT_FALSE(NextQuitRequest(request));  // none waits yet
    struct Case {
        int signal;
        bool interrupt;
    };
    for (const Case c : {Case{SIGINT, true}, Case{SIGTERM, false}, Case{SIGHUP, false}}) {
        SCOPED_TRACE(c.signal);
        ASSERT_EQ(raise(c.signal), 0);
        pollfd p{descriptor, POLLIN, 0};
        ASSERT_EQ(poll(&p, 1, 1000), 1);  // the event loop would wake
        ASSERT_TRUE(NextQuitRequest(request));
        EXPECT_EQ(request.interrupt, c.interrupt);
        EXPECT_EQ(request.exitStatus, 128 + c.signal);
        EXPECT_FALSE(NextQuitRequest(request));
    }
    CloseQuitRequests();
    EXPECT_FALSE(NextQuitRequest(request));
    // After the close a program may open them again.
    ASSERT_TRUE(OpenQuitRequests(descriptor));
    CloseQuitRequests();
}

TEST(PlatformSerialTerminal, BytesPassBothWaysUnchanged) {
    std::string reason;
    const std::unique_ptr<SerialTerminal> terminal = OpenSerialTerminal(&reason);
    ASSERT_TRUE(terminal) << reason;
    std::uint8_t buffer[16];
    EXPECT_EQ(terminal->Read(buffer, sizeof buffer), 0u);  // nothing waits: no blocking
    const int client = open(terminal->path().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(client, 0);
    // Raw: a CR and a control byte arrive as written.
    const std::uint8_t sent[] = {'h', '\r', 0x03, 'i'};
    ASSERT_EQ(write(client, sent, sizeof sent), static_cast<ssize_t>(sizeof sent));
    std::string got;
    for (int tries = 0; tries < 100 && got.size() < sizeof sent; ++tries) {
        const std::size_t n = terminal->Read(buffer, sizeof buffer);
        got.append(reinterpret_cast<const char*>(buffer), n);
        if (n == 0) usleep(10000);
    }
    EXPECT_EQ(got, std::string("h\r\x03i"));
    ASSERT_TRUE(terminal->Write('\n'));
    char back = 0;
    pollfd p{client, POLLIN, 0};
    ASSERT_EQ(poll(&p, 1, 1000), 1);
    ASSERT_EQ(read(client, &back, 1), 1);
    EXPECT_EQ(back, '\n');
    close(client);
    terminal->ReleaseAfterClientClose();
}

// A sink in memory, as a page would keep a waveform; it can be made to fail.
class StringSink final : public ByteSink {
public:
    bool Write(const char* data, std::size_t size, std::string& reason) override {
        if (fail) {
            reason = "the page's buffer is full";
            return false;
        }
        text.append(data, size);
        return true;
    }
    std::string text;
    bool fail = false;
};

TEST(PlatformByteSink, TheWaveformNeedsNoFile) {
    StringSink sink;
    VcdDump dump;
    dump.Begin(sink, "page", "SX28L", StimulusPins::Of(Sx28lFamily(), 3), {});
    dump.PinsChanged(1, 0x40, 0);
    dump.PinsChanged(1, 0x00, 50);
    ASSERT_TRUE(dump.End(100));
    EXPECT_FALSE(dump.isOpen());
    EXPECT_EQ(sink.text.rfind("$version korvid sim $end\n", 0), 0u);
    EXPECT_NE(sink.text.find("$var wire 1 B6 RB6 $end\n"), std::string::npos);
    EXPECT_NE(sink.text.find("#0\n"), std::string::npos);
    EXPECT_NE(sink.text.find("1B6\n"), std::string::npos);
    EXPECT_NE(sink.text.find("0B6\n"), std::string::npos);

    // A sink that refuses its bytes stops the dump and raises the stop flag.
    StringSink full;
    full.fail = true;
    StopFlag stop = 0;
    VcdDump refused;
    refused.stopFlag = &stop;
    refused.Begin(full, "page", "SX28L", StimulusPins::Of(Sx28lFamily(), 3), {});
    EXPECT_FALSE(refused.End(100));
    EXPECT_TRUE(refused.failed());
    EXPECT_EQ(stop, 1);
    EXPECT_EQ(refused.WriteFailure(), "the page's buffer is full");
}

}  // namespace
}  // namespace korvid
