// The output and input rules every program shares (core/image/FileIo).
#include <gtest/gtest.h>

#include <csignal>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "core/image/FileIo.h"
#include "tests/support/RunProgram.h"

namespace korvid {
namespace {

using test::TempDir;

TEST(WriteFiles, AllOrNoneLinksDevicesAndLongNames) {
    TempDir dir;
    dir.Write("old.sxh", "old");
    ::chmod(dir.File("old.sxh").c_str(), 0640);
    // The second output cannot be written: the first is not replaced.
    std::string reason;
    EXPECT_FALSE(WriteFilesAtomically({{dir.File("old.sxh"), "new"}, {dir.File("nofolder/x.lst"), "l"}}, &reason));
    EXPECT_NE(reason.find("x.lst"), std::string::npos) << reason;
    EXPECT_EQ(dir.Read("old.sxh"), "old");
    // Both written; permissions kept.
    ASSERT_TRUE(WriteFilesAtomically({{dir.File("old.sxh"), "new"}, {dir.File("x.lst"), "l"}}, &reason)) << reason;
    EXPECT_EQ(dir.Read("old.sxh"), "new");
    struct stat st {};
    ASSERT_EQ(::stat(dir.File("old.sxh").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    // A link is followed: its target changes, the link stays a link.
    ASSERT_EQ(::symlink("old.sxh", dir.File("link.sxh").c_str()), 0);
    ASSERT_TRUE(WriteFileAtomically(dir.File("link.sxh"), "via link", &reason)) << reason;
    EXPECT_EQ(dir.Read("old.sxh"), "via link");
    ASSERT_EQ(::lstat(dir.File("link.sxh").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    // A device is written in place, never replaced.
    ASSERT_TRUE(WriteFileAtomically("/dev/null", "x", &reason)) << reason;
    ASSERT_EQ(::stat("/dev/null", &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode));
    // A 254-character name fits the temporary's name limit too.
    const std::string longName(254, 'n');
    ASSERT_TRUE(WriteFileAtomically(dir.File(longName), "long", &reason)) << reason;
    EXPECT_EQ(dir.Read(longName), "long");
}

TEST(FindFileClash, SameFileBySpellingLinkAndNewName) {
    TempDir dir;
    dir.Write("a.src", "x");
    ASSERT_EQ(::symlink("a.src", dir.File("l.src").c_str()), 0);
    const std::string a = dir.File("a.src"), dotA = dir.path() + "/./a.src";
    struct Case {
        std::vector<std::string> outputs;
        bool clash;
        int input;
    } cases[] = {
        {{dotA}, true, 0},
        {{dir.File("l.src")}, true, 0},
        {{dir.File("new.sxh"), dir.path() + "/./new.sxh"}, true, -1},
        {{dir.File("new.sxh"), dir.File("new.lst")}, false, 0},
        {{"-", "-"}, true, -1},
        {{"-", dir.File("new.lst")}, false, 0},
    };
    for (const Case& c : cases) {
        auto clash = FindFileClash({a, "-"}, c.outputs);
        EXPECT_EQ(clash.has_value(), c.clash) << c.outputs[0];
        if (clash && c.clash) {
            EXPECT_EQ(clash->input, c.input) << c.outputs[0];
        }
    }
}

TEST(ReadFile, PipesAndFifosReadToTheEndWithTheBound) {
    TempDir dir;
    const std::string fifo = dir.File("f");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    pid_t child = ::fork();
    if (child == 0) {
        FILE* f = std::fopen(fifo.c_str(), "w");
        std::fputs("\tnop\n", f);
        std::fclose(f);
        _exit(0);
    }
    std::string text, reason;
    EXPECT_EQ(ReadFileToString(fifo, text, 100, &reason), ReadResult::Ok) << reason;
    EXPECT_EQ(text, "\tnop\n");
    int status = 0;
    ::waitpid(child, &status, 0);
    dir.Write("big", std::string(101, 'x'));
    EXPECT_EQ(ReadFileToString(dir.File("big"), text, 100), ReadResult::TooLarge);
    EXPECT_TRUE(text.empty());
    EXPECT_EQ(ReadFileToString(dir.path(), text, 100), ReadResult::CannotOpen);
    // A raised stop flag ends the read of a regular file too (it never
    // waits, so no signal would interrupt it): nothing is kept.
    dir.Write("many", std::string(300'000, 'x'));
    volatile std::sig_atomic_t stop = 1;
    EXPECT_EQ(ReadFileToString(dir.File("many"), text, 1'000'000, &reason, &stop), ReadResult::ReadError);
    EXPECT_TRUE(text.empty());
}

}  // namespace
}  // namespace korvid
