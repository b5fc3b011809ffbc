// Every ```sh block of README.md runs as written, in order, in one shell in
// a fresh folder (with `build` and `examples` linked to the real ones and
// the simulator's link name moved into the folder), and must exit 0. Blocks
// that start the IDE or need real hardware are skipped by the short list
// below; nothing else is.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <unistd.h>

#include "tests/e2e/Process.h"

namespace korvid {
namespace {

using test::RunChild;
using test::RunResult;
using test::TempDir;

// A block whose command (after VAR=value words) starts with one of these is
// not run: they build everything and open windows (or a real port).
const char* const kSkippedCommands[] = {"scripts/run", "scripts/test"};

struct Block {
    int line;  // of the opening fence
    std::string text;
};

std::vector<Block> ShellBlocks(const std::string& readme) {
    std::vector<Block> blocks;
    std::istringstream in(readme);
    std::string line;
    int number = 0;
    Block* open = nullptr;
    while (std::getline(in, line)) {
        ++number;
        if (!open && line == "```sh") {
            blocks.push_back({number, {}});
            open = &blocks.back();
        } else if (open && line.rfind("```", 0) == 0) {
            open = nullptr;
        } else if (open) {
            open->text += line + "\n";
        }
    }
    return blocks;
}

bool Skipped(const Block& block) {
    std::istringstream lines(block.text);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream words(line);
        std::string word;
        while (words >> word && word.find('=') != std::string::npos) {
        }
        for (const char* command : kSkippedCommands)
            if (word == command) return true;
    }
    return false;
}

void Replace(std::string& text, const std::string& from, const std::string& to) {
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
}

TEST(ReadmeCommands, EveryShellBlockRuns) {
    std::ifstream in(std::string(KORVID_SOURCE_DIR) + "/README.md");
    ASSERT_TRUE(in.good());
    std::stringstream readme;
    readme << in.rdbuf();
    const std::vector<Block> blocks = ShellBlocks(readme.str());

    TempDir dir;
    ASSERT_EQ(::symlink(KORVID_BINARY_DIR, dir.File("build").c_str()), 0);
    ASSERT_EQ(::symlink(KORVID_SOURCE_DIR "/examples", dir.File("examples").c_str()), 0);
    std::string script =
        "set -e -o pipefail\n"
        "trap 'kill $(jobs -p) 2>/dev/null || true' EXIT\n"
        "cd '" + dir.File("") + "'\n";
    int run = 0;
    for (const Block& block : blocks) {
        if (Skipped(block)) continue;
        std::string text = block.text;
        Replace(text, "/tmp/korvid-tty", dir.File("korvid-tty"));
        script += "echo 'README.md:" + std::to_string(block.line) + "' >&2\n" + text;
        ++run;
    }
    EXPECT_GE(run, 3) << "the README's command blocks were not found";
    RunResult r = RunChild({"/bin/bash", "-c", script}, {}, 120);
    EXPECT_EQ(r.exitCode, 0) << "the last README.md:LINE on stderr names the failing block\n"
                             << r.err << "\n--- stdout\n" << r.out;
}

TEST(ReadmeCommands, SkipListIsOnlyForTheIdeAndRealPorts) {
    EXPECT_TRUE(Skipped({1, "scripts/run     # start\nscripts/test\n"}));
    EXPECT_TRUE(Skipped({1, "KORVID_COM1=/dev/ttyUSB0 scripts/run\n"}));
    EXPECT_FALSE(Skipped({1, "build/apps/korvid/korvid asm x.src\n"}));
}

}  // namespace
}  // namespace korvid
