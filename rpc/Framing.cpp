// Content-Length framing (Framing.h).
#include "rpc/Framing.h"

#include <charconv>

namespace korvid::rpc {

namespace {
bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x + 32);
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y + 32);
        if (x != y) return false;
    }
    return true;
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
    return s;
}
}  // namespace

bool MessageReader::Fill() {
    if (pos_ > 0 && pos_ >= buffer_.size() / 2) {
        buffer_.erase(0, pos_);
        pos_ = 0;
    }
    char chunk[65536];
    const std::size_t n = input_.Read(chunk, sizeof chunk);
    buffer_.append(chunk, n);
    return n > 0;
}

bool MessageReader::MessageWaiting() {
    // Line ends between messages start none; they are skipped as Read does.
    const auto begun = [&] { return buffer_.find_first_not_of(" \t\r\n", pos_) != std::string::npos; };
    while (!begun()) {
        if (!input_.InputWaiting()) return false;
        if (!Fill()) return true;  // the end of the stream: Read says so at once
    }
    return true;
}

ReadStatus MessageReader::Read(std::string& body) {
    body.clear();
    // The header block: lines up to an empty line. Empty lines before a
    // header are skipped (some clients send a stray line end).
    std::size_t length = 0;
    bool haveLength = false, badLength = false, started = false;
    for (;;) {
        std::size_t eol = buffer_.find('\n', pos_);
        if (eol == std::string::npos) {
            if (buffer_.size() - pos_ > 65536) {  // no header line is that long
                pos_ = buffer_.size();
                return ReadStatus::BadHeader;
            }
            if (!Fill()) return started ? ReadStatus::Truncated : ReadStatus::End;
            continue;
        }
        std::string_view line = Trim(std::string_view(buffer_).substr(pos_, eol - pos_));
        pos_ = eol + 1;
        if (line.empty()) {
            if (!started) continue;
            break;
        }
        started = true;
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos) {
            badLength = true;
            continue;
        }
        if (EqualsNoCase(Trim(line.substr(0, colon)), "Content-Length")) {
            std::string_view value = Trim(line.substr(colon + 1));
            auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), length);
            haveLength = ec == std::errc() && end == value.data() + value.size();
            badLength = !haveLength;
        }
    }
    if (!haveLength || badLength) return ReadStatus::BadHeader;
    const bool tooLarge = length > kMaxMessageBytes;
    while (buffer_.size() - pos_ < length) {
        if (tooLarge) {  // drop what has come so far
            length -= buffer_.size() - pos_;
            buffer_.clear();
            pos_ = 0;
        }
        if (!Fill()) return ReadStatus::Truncated;
    }
    if (!tooLarge) body.assign(buffer_, pos_, length);
    pos_ += length;
    return tooLarge ? ReadStatus::TooLarge : ReadStatus::Message;
}

bool WriteMessage(Transport& output, std::string_view body) {
    std::string out = "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n";
    out.append(body);
    return output.Write(out);
}

}  // namespace korvid::rpc
