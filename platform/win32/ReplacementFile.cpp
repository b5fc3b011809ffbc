#include "platform/win32/ReplacementFile.h"

#include "platform/win32/SystemText.h"
#include "platform/Path.h"

namespace korvid {

namespace {

// The longest component most Windows file systems take.
constexpr std::size_t kNameLimit = 255;
constexpr std::string_view kTemporarySuffix = ".tmp";

// A temporary name beside `target` that fits the name limit, its last six
// letters from `seed`.
std::string TemporaryName(const std::string& target, unsigned seed) {
    static constexpr char kChars[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::string letters(6, 'x');
    for (char& c : letters) {
        c = kChars[seed % (sizeof kChars - 1)];
        seed = seed / (sizeof kChars - 1) + seed * 2654435761u;
    }
    std::string name = NameOf(target);
    const std::size_t room = kNameLimit - 1 - kTemporarySuffix.size() - letters.size();
    if (name.size() > room) name.resize(room);
    return BesideFile(target, "." + name + std::string(kTemporarySuffix) + letters);
}

bool Fail(std::string* reason, DWORD error) {
    if (reason) *reason = win32::ReasonOf(error);
    return false;
}

}  // namespace

bool ReplacementFile::Create(const std::string& target, std::string* reason) {
    Discard();
    target_ = target;
    unsigned seed = unsigned(::GetCurrentProcessId()) * 2654435761u ^ unsigned(::GetTickCount64());
    for (int tries = 0;; ++tries) {
        std::string name = TemporaryName(target, seed + unsigned(tries) * 40503u);
        file_ = ::CreateFileW(win32::Widen(name).c_str(), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file_ != INVALID_HANDLE_VALUE) {
            temp_ = std::move(name);
            return true;
        }
        const DWORD error = ::GetLastError();
        if ((error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) || tries == 100) return Fail(reason, error);
    }
}

bool ReplacementFile::Write(std::string_view data, std::string* reason) {
    while (!data.empty()) {
        const DWORD chunk = data.size() > (1u << 30) ? (1u << 30) : DWORD(data.size());
        DWORD n = 0;
        if (!::WriteFile(file_, data.data(), chunk, &n, nullptr)) return Fail(reason, ::GetLastError());
        if (n == 0) return Fail(reason, ERROR_DISK_FULL);
        data.remove_prefix(n);
    }
    return true;
}

bool ReplacementFile::Flush(std::string* reason) {
    if (file_ == INVALID_HANDLE_VALUE) return Fail(reason, ERROR_INVALID_HANDLE);
    return ::FlushFileBuffers(file_) || Fail(reason, ::GetLastError());
}

bool ReplacementFile::Publish(std::string* reason) {
    if (file_ == INVALID_HANDLE_VALUE) return Fail(reason, ERROR_INVALID_HANDLE);
    ::CloseHandle(file_);
    file_ = INVALID_HANDLE_VALUE;
    // By whole paths: Wine's ReplaceFileW refuses a relative name (as "the
    // directory name is invalid"); Windows takes either.
    const std::wstring temp = win32::Widen(AbsolutePathOf(temp_)), target = win32::Widen(AbsolutePathOf(target_));
    const bool exists = ::GetFileAttributesW(target.c_str()) != INVALID_FILE_ATTRIBUTES;
    bool done = exists && ::ReplaceFileW(target.c_str(), temp.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS,
                                         nullptr, nullptr);
    DWORD error = done ? 0 : ::GetLastError();
    // A new file, or one that went away meanwhile: renamed into place.
    if (!done && (!exists || error == ERROR_FILE_NOT_FOUND)) {
        done = ::MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
        error = done ? 0 : ::GetLastError();
    }
    if (!done) {
        Discard();
        return Fail(reason, error);
    }
    temp_.clear();
    return true;
}

void ReplacementFile::Discard() {
    if (file_ != INVALID_HANDLE_VALUE) ::CloseHandle(file_);
    file_ = INVALID_HANDLE_VALUE;
    if (!temp_.empty()) ::DeleteFileW(win32::Widen(temp_).c_str());
    temp_.clear();
}

}  // namespace korvid
