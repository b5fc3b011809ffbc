// The notes that name the word behind an error, the spans that come with
// them, and assembling without a listing.
#include "tests/asm/AsmFixture.h"

namespace korvid::test {
namespace {

struct NoteCase {
    std::string source;
    const char* message;
    std::string span;      // source text of the error span
    std::string noteWord;  // source text of the note's span; "" for no note
    std::string note;      // the note's text after the word, which it begins with
};

void ExpectNote(const Family& family, const NoteCase& c) {
    Assembly a(family, Dialect::Strict);
    ASSERT_FALSE(a.Run(c.source)) << c.source;
    EXPECT_EQ(a.message(), c.message) << c.source;
    EXPECT_EQ(a.span(), c.span) << c.source;
    const auto note = ErrorNoteOf(a.state());
    if (c.noteWord.empty()) {
        EXPECT_FALSE(note) << c.source << ": " << note->text;
        return;
    }
    ASSERT_TRUE(note) << c.source;
    EXPECT_EQ(a.source().substr(note->start, note->end - note->start), c.noteWord) << c.source;
    EXPECT_EQ(note->text, c.noteWord + c.note) << c.source;
    EXPECT_FALSE(note->limit);
}

TEST(ErrorNote, NamesTheWordBehindTheError) {
    const char* expectedOperand = "Expected a constant, variable, unary operator, or \"(\"";
    const char* expectedStatement = "Expected a label, directive, or instruction";
    const char* instructionValue = " is an instruction name, which cannot name a label or stand for a value";
    const char* instructionLabel = " is an instruction name, which cannot name a label";
    const char* registerLabel = " is a register name, which cannot name a label";
    const char* registerValue = " is a register name, which cannot name a label or stand for a value";
    const char* readAsLabel = " is no instruction, directive or macro defined above, so it is read as a label";
    const NoteCase cases[] = {
        // Keywords where a label or value was meant.
        {" CALL sub\nsub RET\n", expectedOperand, "sub", "sub", instructionValue},
        {" JMP skip\n", expectedOperand, "skip", "skip", instructionValue},
        {" DW 1+ORG\n", expectedOperand, "ORG", "ORG",
         " is a directive name, which cannot name a label or stand for a value"},
        {"c NOP\n", "Label is already defined", "c", "c", " is a status bit name, which cannot name a label"},
        {"rtcc NOP\n", "Label is already defined", "rtcc", "rtcc", registerLabel},
        {"m MACRO\n ENDM\n", expectedStatement, "m", "m", registerLabel},
        {" MOV W,#w\n", expectedOperand, "w", "w", registerValue},
        // An instruction name at the start of a line, an instruction after it.
        {"skip NOP\n", "Expected end-of-line", "NOP", "skip", instructionLabel},
        {"sub MOV W,#1\n", expectedOperand, "MOV", "sub", instructionLabel},
        // An unknown word before what only an operand can be: it was meant
        // as an instruction, and the error selects it.
        {"        MOVX  W, 5\n", expectedStatement, "MOVX", "MOVX", readAsLabel},
        {"movx 8,#5\n", expectedStatement, "8", "movx", readAsLabel},
        {"movx #5\n", expectedStatement, "movx", "movx", readAsLabel},
        {"loop MOVX W,5\n", expectedStatement, "MOVX", "MOVX", readAsLabel},
        // Errors that no word explains have no note.
        {" JMP nowhere\n", "Undefined symbol", "nowhere", "", ""},
        {" 5\n", expectedStatement, "5", "", ""},
        {" NOP 5\n", "Expected end-of-line", "5", "", ""},
        {" NOP NOP\n", "Expected end-of-line", "NOP", "", ""},
        {" DW 1+\n", expectedOperand, "\r", "", ""},
    };
    for (const Family* f : kFamilies)
        for (const auto& c : cases) ExpectNote(*f, c);
}

TEST(ErrorNote, ExtendedDeviceWordsNameTheStrictWord) {
    const char* expected = "Expected a DEVICE parameter";
    const std::string extended = " is a DEVICE word of the extended dialect; the strict dialect ";
    const std::string alone = extended + "has none for it";
    const NoteCase sx28l[] = {
        {" DEVICE SX28\n", expected, "SX28", "SX28", extended + "writes SX28L"},
        {" DEVICE TURBO, sx18\n", expected, "sx18", "sx18", extended + "writes SX18L"},
        {" DEVICE STACKX\n", expected, "STACKX", "STACKX", extended + "writes STACKX_OPTIONX"},
        {" DEVICE BOROFF\n", expected, "BOROFF", "BOROFF", alone},
        {" DEVICE SX99\n", expected, "SX99", "", ""},
    };
    for (const auto& c : sx28l) ExpectNote(Sx28lFamily(), c);
    const NoteCase sx52[] = {
        {" DEVICE WDRT006\n", expected, "WDRT006", "WDRT006", extended + "writes DRT60US"},
        {" DEVICE SX52\n", expected, "SX52", "SX52", alone},
    };
    for (const auto& c : sx52) ExpectNote(Sx52Family(), c);
}

// Without a listing only the image is made: no listing limit but one
// line's own, the same words, and no list maps.
TEST(ErrorNote, AssemblyWithoutListing) {
    std::string comments;
    for (int i = 0; i < kMaxListLines; ++i) comments += "; c\n";
    const std::string source = " DEVICE SX28L\n" + comments + "start MOV W,#5\n JMP start\n";

    Assembly listed(Sx28lFamily(), Dialect::Strict);
    ASSERT_FALSE(listed.Run(source));
    EXPECT_EQ(listed.message(), "List is too large");
    auto note = ErrorNoteOf(listed.state());
    ASSERT_TRUE(note);
    EXPECT_EQ(note->text, "a listing holds at most 25000 lines");
    EXPECT_TRUE(note->limit);

    Assembly unlisted(Sx28lFamily(), Dialect::Strict);
    unlisted.state().ListWanted = false;
    ASSERT_TRUE(unlisted.Run(source)) << unlisted.message();
    EXPECT_EQ(unlisted.words(), (std::vector<int>{0xC05, 0xA00}));
    EXPECT_EQ(unlisted.state().ListLength, 0u);
    EXPECT_EQ(unlisted.state().ListLineCount, 0u);
    EXPECT_EQ(unlisted.state().AddressLine[0], -1);

    // The same rules otherwise: nothing to assemble, a comment alone is
    // something, errors and their notes are the same.
    for (const char* text : {"", " DEVICE SX28L\n", "; only a comment\n", " JMP skip\n"}) {
        Assembly a(Sx28lFamily(), Dialect::Strict), b(Sx28lFamily(), Dialect::Strict);
        b.state().ListWanted = false;
        EXPECT_EQ(a.Run(text), b.Run(text)) << text;
        EXPECT_EQ(a.message(), b.message()) << text;
        EXPECT_EQ(ErrorNoteOf(a.state()).has_value(), ErrorNoteOf(b.state()).has_value()) << text;
    }

    // One line longer than the buffer could ever be listed.
    Assembly wide(Sx28lFamily(), Dialect::Strict);
    wide.state().ListWanted = false;
    wide.state().ListCapacity = 100;
    ASSERT_FALSE(wide.Run(" NOP ;" + std::string(100, 'x') + "\n"));
    EXPECT_EQ(wide.message(), "List is too large");
    note = ErrorNoteOf(wide.state());
    ASSERT_TRUE(note);
    EXPECT_EQ(note->text, "the list buffer holds 100 bytes");
    EXPECT_TRUE(wide.Run(" NOP ;" + std::string(60, 'x') + "\n" + " NOP ;" + std::string(60, 'x') + "\n"));
}

}  // namespace
}  // namespace korvid::test
