// Runs a program of this project as a child process and captures what it
// prints, for tests of the command-line tools. Bounded: a child that does
// not finish within the time-out is killed.
#pragma once

#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

namespace korvid::test {

struct ProgramResult {
    int exitCode = -1;  // -1 when killed or not started
    std::string out;
    std::string err;
};

ProgramResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                         const std::string& input = "", int timeoutMs = 20000);

// A fresh temporary folder for one test, removed by the destructor.
class TempDir {
public:
    TempDir();
    // A fresh folder holding these files: name and content of each.
    explicit TempDir(std::initializer_list<std::pair<std::string, std::string>> files);
    ~TempDir();
    const std::string& path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "/" + name; }
    void Write(const std::string& name, const std::string& content) const;
    std::string Read(const std::string& name) const;
    bool Exists(const std::string& name) const;

private:
    std::string path_;
};

}  // namespace korvid::test
