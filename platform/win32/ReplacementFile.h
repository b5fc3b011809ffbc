// A file written beside the regular file it will replace, under a hidden
// temporary name (".NAME.tmpXXXXXX"), and put in its place only when
// complete: ReplaceFileW over an existing file (which keeps that file's
// attributes and security), MoveFileExW for a new one. A failed or
// discarded replacement removes its temporary; the target stays as it was.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace korvid {

class ReplacementFile {
public:
    ReplacementFile() = default;
    ~ReplacementFile() { Discard(); }
    ReplacementFile(const ReplacementFile&) = delete;
    ReplacementFile& operator=(const ReplacementFile&) = delete;

    // Creates the file that will replace `target`. False with the reason.
    bool Create(const std::string& target, std::string* reason);
    bool isOpen() const { return file_ != INVALID_HANDLE_VALUE; }
    const std::string& temporaryPath() const { return temp_; }

    // Appends all of `data`; false with the reason.
    bool Write(std::string_view data, std::string* reason);
    // Puts the contents on the disk; false with the reason.
    bool Flush(std::string* reason);
    // Closes the file and puts it in the target's place. On failure nothing
    // is left of it and the target is untouched.
    bool Publish(std::string* reason);
    // Closes the file and removes it.
    void Discard();

private:
    std::string target_;
    std::string temp_;
    HANDLE file_ = INVALID_HANDLE_VALUE;
};

}  // namespace korvid
