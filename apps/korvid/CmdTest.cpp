// korvid test: runs firmware test files (NAME.test) on the emulator and
// says which pass. Each file runs in a worker process of its own (-j at a
// time), so a file that cannot run harms no other; results are printed in
// file order as they become available.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "apps/korvid/CliSupport.h"
#include "apps/korvid/CommandTable.h"
#include "apps/korvid/TestFileRun.h"
#include "apps/korvid/TestReport.h"
#include "base/Text.h"
#include "platform/FileIo.h"
#include "platform/Folders.h"
#include "platform/Path.h"
#include "platform/Workers.h"
#include "sim/SimSetup.h"

namespace korvid::cli {
namespace {

constexpr const char* kCommand = "test";

bool EndsWith(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

// Folders already searched, by their keys: a symbolic link back up the
// tree (or two links to one folder) must not find its tests again.
using Searched = std::set<std::string>;

// The *.test files under `folder`, depth first, names in byte order.
void FindTests(const std::string& folder, std::vector<std::string>& out, std::string& problem, Searched& searched) {
    if (const auto key = FolderKey(folder); key && !searched.insert(*key).second) return;
    std::vector<std::string> names;
    std::string reason;
    if (!ListFolder(folder, names, reason)) {
        problem = "cannot read the folder " + folder + ": " + reason;
        return;
    }
    std::sort(names.begin(), names.end());
    const std::string prefix = folder == "." ? std::string() : (EndsWith(folder, "/") ? folder : folder + "/");
    for (const std::string& n : names) {
        const std::string path = prefix + n;
        const FileStatus st = StatusOf(path);
        if (!st.exists) continue;
        if (st.folder) {
            if (n[0] != '.') FindTests(path, out, problem, searched);
        } else if (EndsWith(n, ".test")) {
            out.push_back(path);
        }
    }
}

// Waveform names in --vcd-dir: the test's name, made unique.
std::vector<std::string> WaveformNames(const std::vector<std::string>& files, const std::string& dir) {
    std::vector<std::string> names;
    std::set<std::string> used;
    for (const std::string& f : files) {
        std::string stem = NameOf(f);
        if (EndsWith(stem, ".test")) stem.resize(stem.size() - 5);
        std::string name = stem;
        for (int n = 2; !used.insert(name).second; ++n) name = stem + "-" + std::to_string(n);
        names.push_back(dir + "/" + name + ".vcd");
    }
    return names;
}

TestFileResult Failed(const std::string& file, const std::string& why) {
    TestFileResult r;
    r.file = file;
    r.status = TestFileResult::Status::Error;
    r.errors = "korvid: " + file + ": " + why + "\n";
    return r;
}

// The result a worker handed over, or what became of it.
TestFileResult Collect(const WorkerEnd& end, const std::string& file) {
    TestFileResult r;
    if (end.kind == WorkerEnd::Kind::Signalled)
        return Failed(file, std::string("the run stopped on signal ") + std::to_string(end.signal) + " (" +
                                end.signalName + ")");
    if (end.kind != WorkerEnd::Kind::Result || !Decode(end.result, r))
        return Failed(file, "the run ended without a result");
    return r;
}

}  // namespace

int RunTest(const Options& options) {
    long jobs = long(std::thread::hardware_concurrency());
    if (auto j = options.Value("-j")) {
        char* end = nullptr;
        jobs = std::strtol(j->c_str(), &end, 10);
        if (j->empty() || *end || jobs < 1 || jobs > 256) return UsageError(kCommand, "-j takes a number from 1 to 256");
    }
    if (jobs < 1) jobs = 1;
    const auto junit = options.Value("--junit");
    const auto vcdDir = options.Value("--vcd-dir");
    if (vcdDir) {
        if (!StatusOf(*vcdDir).folder)
            return UsageError(kCommand, "--vcd-dir: " + *vcdDir + " is not a folder");
    }
    // Outputs that could not be written are said before the tests run, not
    // after a long run (the files are still written whole at the end).
    std::vector<std::pair<std::string, std::string>> outputFolders;
    if (junit) outputFolders.emplace_back("--junit", FolderOf(*junit));
    if (vcdDir) outputFolders.emplace_back("--vcd-dir", *vcdDir);
    for (const auto& [option, folder] : outputFolders)
        if (std::string reason; !CanCreateIn(folder, reason))
            return UsageError(kCommand, option + ": cannot write in " + folder + ": " + reason);
    std::vector<std::string> paths = options.Operands();
    if (paths.empty()) paths.push_back(".");

    // The files: as given, or found under the folders given.
    std::vector<std::string> files;
    std::vector<std::string> problems;
    Searched searched;
    for (const std::string& p : paths) {
        if (StatusOf(p).folder) {
            std::string problem;
            FindTests(p, files, problem, searched);
            if (!problem.empty()) problems.push_back(problem);
        } else {
            files.push_back(p);  // a file that cannot be read is reported in its place
        }
    }
    for (const std::string& p : problems) PrintError(p);
    if (files.empty()) {
        PrintError("no test files (*.test) found");
        return kExitUsage;
    }
    if (junit && !OutputsAreDistinct(kCommand, files, {{"--junit", *junit}})) return kExitUsage;

    const std::vector<std::string> waveforms = vcdDir ? WaveformNames(files, *vcdDir) : std::vector<std::string>();
    std::vector<TestFileResult> results(files.size());
    std::vector<bool> ready(files.size(), false);
    WorkerPool workers;
    std::size_t next = 0, printed = 0;
    // A stop signal (Ctrl-C reaches the workers through the process group;
    // a SIGTERM to the command is passed on to them) ends the workers'
    // runs early; the command waits for them, reports what finished and
    // starts no more. The workers inherit the handlers.
    StopSignals signals;
    bool passedOn = false;
    while (printed < files.size()) {
        if (*StopSignals::Flag() && !passedOn) {
            passedOn = true;
            workers.StopAll();
            for (; next < files.size(); ++next) {
                results[next] = Failed(files[next], "not run: interrupted");
                ready[next] = true;
            }
        }
        while (next < files.size() && workers.running() < static_cast<std::size_t>(jobs)) {
            const std::string& path = files[next];
            const std::string vcd = vcdDir ? waveforms[next] : std::string();
            std::string reason;
            // The names by value: a worker may be a thread that outlives this turn.
            if (!workers.Start(next, [path, vcd] { return Encode(RunTestFile(path, path, vcd)); }, reason)) {
                results[next] = Failed(path, "cannot start a worker: " + reason);
                ready[next] = true;
            }
            ++next;
        }
        std::string reason;
        if (!workers.Wait(
                [&](std::size_t index, const WorkerEnd& end) {
                    results[index] = Collect(end, files[index]);
                    ready[index] = true;
                },
                reason)) {
            PrintError(reason);
            return kExitUsage;
        }
        for (; printed < files.size() && ready[printed]; ++printed) {
            std::fputs(ReportLines(results[printed]).c_str(), stdout);
            std::fflush(stdout);
        }
    }

    std::size_t passed = 0, errors = 0;
    for (const TestFileResult& r : results) {
        passed += r.status == TestFileResult::Status::Pass ? 1 : 0;
        errors += r.status == TestFileResult::Status::Error ? 1 : 0;
    }
    std::printf("%zu passed, %zu failed\n", passed, files.size() - passed);
    std::fflush(stdout);
    int status = passed == files.size() ? kExitOk : kExitFailure;
    if (errors > 0 || !problems.empty()) status = kExitUsage;
    if (junit && !WriteOutput(*junit, JUnitXml(results))) status = kExitUsage;
    return status;
}

}  // namespace korvid::cli
