// Test fixtures for the SXC loader: writes a compiler .cod file and its .lst
// listing from a described program, so that tests (and the debugger tests)
// can load compiled programs without the compiler.
//
//   SxcProgram p;
//   p.Line("main:");                     // a listing line without code
//   p.Line("  MOV W,#1", 0x000, {0xC01}); // a line with its code words
//   p.Frequency(4000000);
//   WriteSxcFixture(dir + "/prog", p);   // prog.cod and prog.lst
#pragma once

#include <cstdint>
#include <fstream>
#include <initializer_list>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace korvid::test {

struct SxcLineEntry {
    std::uint8_t flags;  // 0: maps `value` (a code address) to the line and counts it
    std::uint16_t value; // 0xFF entries: the number of lines to skip
};

struct SxcProgram {
    std::map<std::uint32_t, std::uint16_t> words;                  // .cod word address -> value
    std::vector<std::pair<std::uint16_t, std::uint16_t>> memoryMap; // byte start, byte end (inclusive)
    std::vector<SxcLineEntry> lines;
    std::vector<std::string> listing;  // .lst lines, written with CR LF

    // A listing line; with words, they are stored from `address` on, marked
    // as code in the memory map and the line is mapped to `address`.
    void Line(const std::string& text, int address = -1, std::initializer_list<std::uint16_t> code = {}) {
        listing.push_back(text);
        if (address < 0 || code.size() == 0) {
            lines.push_back({0x10, 0});  // counts the line, maps nothing
            return;
        }
        std::uint32_t a = std::uint32_t(address);
        for (std::uint16_t w : code) words[a++] = w;
        // Code that continues the previous entry extends it, as the compiler
        // writes one entry per run of code. (An entry of word 0 alone reads
        // as empty, so a one-word program at address 0 would be dropped.)
        std::uint16_t start = std::uint16_t(2 * address), end = std::uint16_t(2 * (a - 1) + 1);
        if (!memoryMap.empty() && memoryMap.back().second + 1 == start)
            memoryMap.back().second = end;
        else
            memoryMap.push_back({start, end});
        lines.push_back({0x00, std::uint16_t(address)});
    }
    // Listing lines that the line table skips with one 0xFF entry.
    void SkippedLines(const std::vector<std::string>& texts) {
        for (const std::string& t : texts) listing.push_back(t);
        lines.push_back({0xFF, std::uint16_t(texts.size())});
    }
    void Frequency(std::uint32_t hz) {
        words[0x1012] = std::uint16_t(hz & 0xFFFF);
        words[0x1013] = std::uint16_t(hz >> 16);
    }
    void Fuses(std::uint16_t fuse, std::uint16_t extFuse) {
        words[0x1010] = fuse;
        words[0x1011] = extFuse;
    }
};

// Where BuildCod put each part (block numbers).
struct SxcLayout {
    std::uint16_t codeBlock[17] = {};
    int firstMap = 0, lastMap = -1;
    int firstLines = 0, lastLines = -1;
};

inline void PutWord(std::string& file, std::size_t at, std::uint16_t v) {
    if (file.size() < at + 2) file.resize(at + 2, '\0');
    file[at] = char(v & 0xFF);
    file[at + 1] = char(v >> 8);
}

// The .cod bytes: directory, then one code block per used range, then the
// memory-map blocks, then the line-table blocks.
inline std::string BuildCod(const SxcProgram& p, SxcLayout* layoutOut = nullptr) {
    constexpr std::size_t kBlock = 512;
    SxcLayout layout;
    std::string file(kBlock, '\0');
    int next = 1;
    for (int j = 0; j < 17; ++j) {
        bool used = false;
        for (const auto& [a, v] : p.words) used = used || a / 256 == std::uint32_t(j);
        if (!used) continue;
        layout.codeBlock[j] = std::uint16_t(next);
        std::string block(kBlock, '\0');
        for (int i = 0; i < 256; ++i) {
            auto it = p.words.find(std::uint32_t(j * 256 + i));
            PutWord(block, std::size_t(2 * i), it == p.words.end() ? 0x0FFF : it->second);
        }
        file += block;
        PutWord(file, std::size_t(2 * j), std::uint16_t(next++));
    }
    if (!p.memoryMap.empty()) {
        layout.firstMap = next;
        for (std::size_t e = 0; e < p.memoryMap.size(); e += 128, ++next) {
            std::string block(kBlock, '\0');
            for (std::size_t k = 0; k < 128 && e + k < p.memoryMap.size(); ++k) {
                PutWord(block, 4 * k, p.memoryMap[e + k].first);
                PutWord(block, 4 * k + 2, p.memoryMap[e + k].second);
            }
            file += block;
        }
        layout.lastMap = next - 1;
    }
    if (!p.lines.empty()) {
        layout.firstLines = next;
        for (std::size_t e = 0; e < p.lines.size(); e += 85, ++next) {
            std::string block(kBlock, '\0');
            for (std::size_t k = 0; k < 85 && e + k < p.lines.size(); ++k) {
                block[6 * k + 1] = char(p.lines[e + k].flags);
                PutWord(block, 6 * k + 4, p.lines[e + k].value);
            }
            file += block;
        }
        layout.lastLines = next - 1;
    }
    // An empty range is written as last < first.
    file[0x1B2] = char(layout.lastLines < 0 ? 1 : layout.firstLines);
    file[0x1B4] = char(layout.lastLines < 0 ? 0 : layout.lastLines);
    file[0x1BB] = char(layout.lastMap < 0 ? 1 : layout.firstMap);
    file[0x1BD] = char(layout.lastMap < 0 ? 0 : layout.lastMap);
    if (layoutOut) *layoutOut = layout;
    return file;
}

inline std::string BuildLst(const SxcProgram& p) {
    std::string text;
    for (const std::string& line : p.listing) text += line + "\r\n";
    return text;
}

inline bool WriteBinary(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
    return bool(out);
}

// Writes base + ".cod" and base + ".lst".
inline bool WriteSxcFixture(const std::string& base, const SxcProgram& p) {
    return WriteBinary(base + ".cod", BuildCod(p)) && WriteBinary(base + ".lst", BuildLst(p));
}

}  // namespace korvid::test
