// Documents: UTF-16 positions over Latin-1 bytes, incremental edits, line
// ends of every kind, and the assembler's text mapping back to positions.
#include <gtest/gtest.h>

#include "lsp/Document.h"
#include "rpc/DescriptorTransport.h"
#include "rpc/Framing.h"

#include <unistd.h>

namespace korvid::lsp {
namespace {

TEST(LspDocument, CharactersBeyondLatin1KeepUtf16Columns) {
    // "é" is Latin-1 (one byte), "€" is one UTF-16 unit, "😀" two.
    Document d("; é€😀\r\nMOV W,#1\n");
    EXPECT_EQ(d.units(), std::string("; \xE9?\?\?\r\nMOV W,#1\n"));
    EXPECT_EQ(d.lineCount(), 3);
    EXPECT_EQ(d.OffsetOf({1, 4}), 12u);
    EXPECT_EQ(Utf8FromUnits(d.units().substr(0, 3)), "; é");
    EXPECT_EQ(UnitsFromUtf8("\xFF\xC3"), "??");  // bytes that start no character
}

TEST(LspDocument, IncrementalEditsAndAssemblerOffsets) {
    Document d("a\r\nbb\rccc\nd");
    EXPECT_EQ(d.asmText(), "a\rbb\rccc\rd");
    EXPECT_EQ(d.AsmPosition(5), (Position{2, 0}));
    EXPECT_EQ(d.AsmOffsetOf({2, 99}), 8u);  // clamped to the line's end
    d.Replace({{1, 1}, {2, 1}}, "X\nY");
    EXPECT_EQ(d.units(), "a\r\nbX\nYcc\nd");
    // A control byte becomes a space so the columns stay; NUL never ends the text.
    d.SetText(std::string("A\0B\x01", 4));
    EXPECT_EQ(d.asmText(), "A B ");
    // A range past the end is clamped, an inverted one swapped.
    d.Replace({{9, 0}, {0, 1}}, "");
    EXPECT_EQ(d.units(), "A");
}

// Framed messages through a pipe: good ones, a bad header, a body cut short.
TEST(LspFraming, HeadersAndBodiesOnAStream) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    const std::string input =
        "Content-Length: 2\r\n\r\n{}"
        "\r\ncontent-length:3\r\nContent-Type: x\r\n\r\n[1]"
        "Content-Length: 12x\r\n\r\n"
        "Content-Length: 10\r\n\r\n{\"a\"";
    ASSERT_EQ(write(fds[1], input.data(), input.size()), static_cast<ssize_t>(input.size()));
    close(fds[1]);
    rpc::DescriptorTransport pipeEnd(fds[0], -1);
    rpc::MessageReader reader(pipeEnd);
    std::string body;
    EXPECT_EQ(reader.Read(body), rpc::ReadStatus::Message);
    EXPECT_EQ(body, "{}");
    EXPECT_EQ(reader.Read(body), rpc::ReadStatus::Message);
    EXPECT_EQ(body, "[1]");
    EXPECT_EQ(reader.Read(body), rpc::ReadStatus::BadHeader);
    EXPECT_EQ(reader.Read(body), rpc::ReadStatus::Truncated);
    EXPECT_EQ(reader.Read(body), rpc::ReadStatus::End);
    close(fds[0]);
}

}  // namespace
}  // namespace korvid::lsp
