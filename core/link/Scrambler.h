// The byte scrambler of the tool's serial stream. One 16-bit register serves
// both directions; it advances once per byte in the order bytes are sent and
// taken. The tool side (the simulated firmware) uses the same functions, so
// both ends of the link share one definition.
#pragma once

#include <cstdint>

namespace korvid {

// XORed with the tool's detection seed to give the initial register.
inline constexpr std::uint16_t kLinkKey = 0xC4B1;

// Advances the register: feedback = bits 15^9^7^1; H takes L bit 0 from the
// right, L shifts right and takes the feedback in bit 7.
constexpr std::uint16_t ScrambleStep(std::uint16_t s) {
    unsigned fb = ((s >> 15) ^ (s >> 9) ^ (s >> 7) ^ (s >> 1)) & 1u;
    unsigned h = s >> 8, l = s & 0xFFu;
    unsigned nh = ((h << 1) | (l & 1u)) & 0xFFu;
    unsigned nl = (l >> 1) | (fb << 7);
    return static_cast<std::uint16_t>((nh << 8) | nl);
}

// Sender side (what the client does with every byte it sends, and what the
// tool does with every byte it answers): step first, then encode with the
// new state. Returns the wire byte and updates `state`.
inline std::uint8_t ScrambleOut(std::uint16_t& state, std::uint8_t plain) {
    state = ScrambleStep(state);
    unsigned h = state >> 8, l = state & 0xFFu;
    return static_cast<std::uint8_t>(((plain - h) & 0xFFu) ^ l);
}

// Receiver side (client taking a reply byte): decode with the current state,
// then step. A zero register (the programming-only tool) leaves the stream
// plain in both directions.
inline std::uint8_t UnscrambleIn(std::uint16_t& state, std::uint8_t wire) {
    if (state == 0) return wire;
    unsigned h = state >> 8, l = state & 0xFFu;
    auto plain = static_cast<std::uint8_t>((l - (wire ^ h)) & 0xFFu);
    state = ScrambleStep(state);
    return plain;
}

// Tool side of the two directions: the inverse of ScrambleOut (decode a byte
// the client sent) and of UnscrambleIn (encode a byte for the client).
inline std::uint8_t ToolDecode(std::uint16_t& state, std::uint8_t wire) {
    state = ScrambleStep(state);
    unsigned h = state >> 8, l = state & 0xFFu;
    return static_cast<std::uint8_t>(((wire ^ l) + h) & 0xFFu);
}

inline std::uint8_t ToolEncode(std::uint16_t& state, std::uint8_t plain) {
    if (state == 0) return plain;
    unsigned h = state >> 8, l = state & 0xFFu;
    auto wire = static_cast<std::uint8_t>(((l - plain) & 0xFFu) ^ h);
    state = ScrambleStep(state);
    return wire;
}

}  // namespace korvid
