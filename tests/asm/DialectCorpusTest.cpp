// The extended dialect reads every source the strict one accepts as the
// strict one does: the same chip image (program, fuses, ID) and breakpoint.
// Checked on every source the project carries and on the names that only the
// extended dialect gives a DEVICE meaning to.
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/asm/AsmFixture.h"

namespace korvid::test {
namespace {

namespace fs = std::filesystem;

struct Source {
    std::string name;
    std::string text;  // "\n" line ends, as Assembly::Run takes them
};

std::string ReadLines(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream buffer;
    buffer << in.rdbuf();
    std::string text;
    const std::string raw = buffer.str();
    for (std::size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] == '\r' && i + 1 < raw.size() && raw[i + 1] == '\n') continue;
        text += raw[i] == '\r' ? '\n' : raw[i];
    }
    return text;
}

// Examples, kernel sources, every .src below tests/ and the fuzz corpus.
std::vector<Source> Corpus() {
    const fs::path root = KORVID_SOURCE_DIR;
    std::vector<Source> out;
    auto add = [&](const fs::path& path) { out.push_back({fs::relative(path, root).string(), ReadLines(path)}); };
    for (const char* folder : {"examples", "core/image/kernel", "tests"})
        for (const auto& e : fs::recursive_directory_iterator(root / folder))
            if (e.is_regular_file() && e.path().extension() == ".src") add(e.path());
    for (const auto& e : fs::directory_iterator(root / "tests/fuzz/corpus/assemble"))
        if (e.is_regular_file()) add(e.path());
    return out;
}

// Assembles `text` in both dialects; where the strict one accepts it, the
// extended one must too, with the same image. Returns whether strict accepted.
bool ExpectSameReading(const Family& family, const std::string& text) {
    Assembly strict(family, Dialect::Strict);
    if (!strict.Run(text)) return false;
    Assembly extended(family, Dialect::Extended);
    EXPECT_TRUE(extended.Run(text)) << extended.message() << " at \"" << extended.span() << "\"";
    EXPECT_TRUE(strict.state().ChipImage == extended.state().ChipImage);
    EXPECT_EQ(strict.state().BreakAddress, extended.state().BreakAddress);
    return true;
}

TEST(DialectCorpus, StrictSourcesReadTheSameInTheExtendedDialect) {
    const std::vector<Source> corpus = Corpus();
    ASSERT_GE(corpus.size(), 10u);
    int accepted = 0;
    for (const Family* f : kFamilies)
        for (const Source& s : corpus) {
            SCOPED_TRACE(std::string(f->title) + ": " + s.name);
            accepted += ExpectSameReading(*f, s.text);
        }
    // The examples and kernel sources all assemble for their family.
    EXPECT_GE(accepted, 9);
}

// Older sources mark their target with a part name alone on a line and test
// it later; a name may also be used as any other symbol. Such a label still
// works as the DEVICE word afterwards.
TEST(DialectCorpus, ExtendedDeviceWordsStayFreeAsNames) {
    for (const Family* f : kFamilies)
        for (int i = 0; i < f->extendedDeviceParamCount; ++i) {
            const std::string word(f->extendedDeviceParams[i].name);
            SCOPED_TRACE(std::string(f->title) + ": " + word);
            for (const std::string& text :
                 {word + "\nIFDEF " + word + "\nNOP\nENDIF\nDW " + word + "\n", word + " NOP\nJMP " + word + "\n",
                  "V EQU 3\n" + word + " = V + 1\nDW " + word + "\n", "DW " + word + "\n" + word + " DW 7\n"}) {
                SCOPED_TRACE(text);
                EXPECT_TRUE(ExpectSameReading(*f, text));
            }
            Assembly plain(*f, Dialect::Extended), labelled(*f, Dialect::Extended);
            ASSERT_TRUE(plain.Run("DEVICE " + word + "\nNOP\n")) << plain.message();
            ASSERT_TRUE(labelled.Run(word + "\nDEVICE " + word + "\nNOP\n")) << labelled.message();
            EXPECT_EQ(labelled.word(kFuseIndex), plain.word(kFuseIndex));
            EXPECT_EQ(labelled.word(kExtFuseIndex), plain.word(kExtFuseIndex));
        }
}

}  // namespace
}  // namespace korvid::test
