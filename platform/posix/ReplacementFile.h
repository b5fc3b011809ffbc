// A file written beside the regular file it will replace, invisible until it
// is complete. It is created unnamed in the target's folder (O_TMPFILE), so a
// process killed while writing (even by SIGKILL) leaves nothing behind: the
// file system frees an unnamed file when its last descriptor closes. Publish()
// gives it a fresh hidden name in the same folder and renames that over the
// target; only that rename is a window in which a kill would leave a file.
// Where the file system has no unnamed files, it is a named temporary from the
// start (".NAME.tmpXXXXXX"), removed by Discard() as before.
#pragma once

#include <string>
#include <sys/stat.h>

namespace korvid {

class ReplacementFile {
public:
    ReplacementFile() = default;
    ~ReplacementFile() { Discard(); }
    ReplacementFile(const ReplacementFile&) = delete;
    ReplacementFile& operator=(const ReplacementFile&) = delete;

    // Creates the file that will replace `target` (links already followed).
    // It takes the owner (when permitted) and permissions of `old`, the file
    // it replaces, or a new file's permissions under the umask when `old` is
    // null. `unnamed` false makes it a named temporary at once (the path
    // taken where the file system refuses unnamed files). False with the
    // system's reason.
    bool Create(const std::string& target, const struct stat* old, std::string* reason, bool unnamed = true);

    int fd() const { return fd_; }
    bool isOpen() const { return fd_ >= 0; }
    // True while the file has no name (no trace on disk if the process dies).
    bool isUnnamed() const { return fd_ >= 0 && temp_.empty(); }
    // The named temporary's path ("" while unnamed).
    const std::string& temporaryPath() const { return temp_; }

    // Puts the contents on the disk (fsync); false with the system's reason.
    bool Flush(std::string* reason);
    // Names the file and renames it over the target, then closes it. On
    // failure nothing is left of it and the target is untouched.
    bool Publish(std::string* reason);
    // Closes the file and removes its name if it has one.
    void Discard();

private:
    bool Fail(std::string* reason, int error);
    std::string target_;
    std::string temp_;  // the named temporary, empty while unnamed
    int fd_ = -1;
};

// A temporary name beside `target` whose last component fits the folder's
// name limit: ".NAME.tmpXXXXXX" with NAME shortened as needed (the X's are
// left for the caller or mkstemp to fill).
std::string TemporaryNameFor(const std::string& target);

}  // namespace korvid
