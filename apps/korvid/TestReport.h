// Results of `korvid test`: one test file's outcome as the command prints
// it and as JUnit XML reports it, and a flat encoding that carries it from
// the worker process that ran the file to the command.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace korvid::cli {

struct TestCaseResult {
    std::string name;     // "expect at 3ms RB.0 == 1" (line 7)
    int line = 0, column = 0;
    bool passed = false;
    std::string message;  // of a failure
};

struct TestFileResult {
    enum class Status : std::uint8_t { Pass, Fail, Error } status = Status::Error;
    std::string file;                   // as shown
    std::vector<TestCaseResult> cases;  // checks (and a run until that failed)
    int checkCount = 0;
    std::uint64_t simulatedPs = 0;
    double seconds = 0;                 // wall time
    std::string errors;                 // Error: the lines that say why
};

// The lines `korvid test` prints for the file: "PASS FILE (N checks, TIME
// simulated)" or "FAIL FILE" and one "FILE:LINE:COL: error: ..." line per
// failing check or error.
std::string ReportLines(const TestFileResult& r);

// JUnit XML: a testsuite per file, a testcase per check; the failure
// messages as printed. Errors are one testcase with an <error>.
std::string JUnitXml(const std::vector<TestFileResult>& results);

std::string Encode(const TestFileResult& r);
bool Decode(const std::string& data, TestFileResult& r);

}  // namespace korvid::cli
