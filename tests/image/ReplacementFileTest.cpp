// The file that replaces an output (core/image/ReplacementFile): unnamed
// while written where the file system allows, a named temporary otherwise;
// either way the folder shows only the finished file, or the old one.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/posix/ReplacementFile.h"
#include "tests/support/RunProgram.h"

namespace korvid {
namespace {

std::vector<std::string> Names(const std::string& folder) {
    std::vector<std::string> out;
    for (const auto& e : std::filesystem::directory_iterator(folder)) out.push_back(e.path().filename());
    std::sort(out.begin(), out.end());
    return out;
}

mode_t ModeOf(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

TEST(ReplacementFile, OnlyTheFinishedFileEverHasItsName) {
    for (const bool unnamed : {true, false}) {
        SCOPED_TRACE(unnamed ? "unnamed" : "named");
        test::TempDir dir;
        dir.Write("old.vcd", "old");
        ::chmod(dir.File("old.vcd").c_str(), 0640);
        struct stat old {};
        ASSERT_EQ(::stat(dir.File("old.vcd").c_str(), &old), 0);
        std::string reason;
        ReplacementFile f;
        ASSERT_TRUE(f.Create(dir.File("old.vcd"), &old, &reason, unnamed)) << reason;
        ASSERT_EQ(::write(f.fd(), "new", 3), 3);
        // Unnamed, nothing shows; named, one hidden temporary.
        EXPECT_EQ(Names(dir.path()).size(), unnamed ? 1u : 2u);
        EXPECT_EQ(dir.Read("old.vcd"), "old");
        ASSERT_TRUE(f.Flush(&reason) && f.Publish(&reason)) << reason;
        EXPECT_EQ(dir.Read("old.vcd"), "new");
        EXPECT_EQ(ModeOf(dir.File("old.vcd")), 0640u) << "the old file's permissions";
        EXPECT_EQ(Names(dir.path()), std::vector<std::string>{"old.vcd"});

        // A new file takes the umask; the target turned into a folder: the
        // rename fails and the finished file goes.
        const mode_t mask = ::umask(027);
        ASSERT_TRUE(f.Create(dir.File("late"), nullptr, &reason, unnamed)) << reason;
        ::umask(mask);
        EXPECT_EQ(ModeOf("/proc/self/fd/" + std::to_string(f.fd())), 0640u);
        ASSERT_EQ(::mkdir(dir.File("late").c_str(), 0755), 0);
        EXPECT_FALSE(f.Publish(&reason));
        EXPECT_FALSE(f.isOpen());
        EXPECT_EQ(Names(dir.path()), (std::vector<std::string>{"late", "old.vcd"}));
        ::rmdir(dir.File("late").c_str());

        // A missing folder is the system's reason, not a silent fallback.
        EXPECT_FALSE(f.Create(dir.File("none/x.vcd"), nullptr, &reason, unnamed));
        EXPECT_NE(reason.find("No such file"), std::string::npos) << reason;
    }
}

}  // namespace
}  // namespace korvid
