// korvid test: runs firmware test files (NAME.test) on the emulator and
// says which pass. Each file runs in a worker process of its own (-j at a
// time), so a file that cannot run harms no other; results are printed in
// file order as they become available.
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <map>
#include <poll.h>
#include <set>
#include <string>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "apps/korvid/CliSupport.h"
#include "apps/korvid/CommandTable.h"
#include "apps/korvid/TestFileRun.h"
#include "apps/korvid/TestReport.h"
#include "sim/SimSetup.h"

namespace korvid::cli {
namespace {

constexpr const char* kCommand = "test";

bool EndsWith(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

// Folders already searched, by device and inode: a symbolic link back up
// the tree (or two links to one folder) must not find its tests again.
using Searched = std::set<std::pair<dev_t, ino_t>>;

// The *.test files under `folder`, depth first, names in byte order.
void FindTests(const std::string& folder, std::vector<std::string>& out, std::string& problem, Searched& searched) {
    struct stat self {};
    if (stat(folder.c_str(), &self) == 0 && !searched.insert({self.st_dev, self.st_ino}).second) return;
    DIR* dir = opendir(folder.c_str());
    if (!dir) {
        problem = "cannot read the folder " + folder + ": " + std::strerror(errno);
        return;
    }
    std::vector<std::string> names;
    while (const dirent* e = readdir(dir)) {
        const std::string n = e->d_name;
        if (n != "." && n != "..") names.push_back(n);
    }
    closedir(dir);
    std::sort(names.begin(), names.end());
    const std::string prefix = folder == "." ? std::string() : (EndsWith(folder, "/") ? folder : folder + "/");
    for (const std::string& n : names) {
        const std::string path = prefix + n;
        struct stat st {};
        if (stat(path.c_str(), &st) != 0) continue;
        if (S_ISDIR(st.st_mode)) {
            if (n[0] != '.') FindTests(path, out, problem, searched);
        } else if (EndsWith(n, ".test")) {
            out.push_back(path);
        }
    }
}

// The folder a file is written in ("." for a bare name).
std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

// Waveform names in --vcd-dir: the test's name, made unique.
std::vector<std::string> WaveformNames(const std::vector<std::string>& files, const std::string& dir) {
    std::vector<std::string> names;
    std::set<std::string> used;
    for (const std::string& f : files) {
        std::string stem = f.substr(f.rfind('/') == std::string::npos ? 0 : f.rfind('/') + 1);
        if (EndsWith(stem, ".test")) stem.resize(stem.size() - 5);
        std::string name = stem;
        for (int n = 2; !used.insert(name).second; ++n) name = stem + "-" + std::to_string(n);
        names.push_back(dir + "/" + name + ".vcd");
    }
    return names;
}

struct Worker {
    pid_t pid = -1;
    int fd = -1;
    std::size_t index = 0;
    std::string data;
};

// Starts a worker for file `index`; it writes the encoded result to a pipe.
bool Start(Worker& w, std::size_t index, const std::string& path, const std::string& vcd) {
    int fds[2];
    if (pipe(fds) != 0) return false;
    std::fflush(stdout);
    std::fflush(stderr);
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid < 0) {
        close(fds[0]);
        close(fds[1]);
        return false;
    }
    if (pid == 0) {
        close(fds[0]);
        // A command killed outright (kill -9) takes its workers with it: the
        // stop signal ends the run and removes the unfinished waveform, where
        // the orphan would otherwise run on for its whole simulated time.
        (void)prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != parent) _exit(4);  // it died before we asked
        const std::string data = Encode(RunTestFile(path, path, vcd));
        std::size_t done = 0;
        while (done < data.size()) {
            const ssize_t n = write(fds[1], data.data() + done, data.size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) _exit(3);
            done += static_cast<std::size_t>(n);
        }
        _exit(0);
    }
    close(fds[1]);
    w = {pid, fds[0], index, {}};
    return true;
}

TestFileResult Failed(const std::string& file, const std::string& why) {
    TestFileResult r;
    r.file = file;
    r.status = TestFileResult::Status::Error;
    r.errors = "korvid: " + file + ": " + why + "\n";
    return r;
}

// Collects a finished worker's result.
TestFileResult Collect(Worker& w, const std::string& file) {
    close(w.fd);
    int status = 0;
    while (waitpid(w.pid, &status, 0) < 0 && errno == EINTR) {
    }
    TestFileResult r;
    if (WIFSIGNALED(status))
        return Failed(file, std::string("the run stopped on signal ") + std::to_string(WTERMSIG(status)) + " (" +
                                strsignal(WTERMSIG(status)) + ")");
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || !Decode(w.data, r))
        return Failed(file, "the run ended without a result");
    return r;
}

constexpr OptionSpec kTestOptions[] = {
    {"-j", "N", "run N files at a time, each in a process of its own (default: the number of processors)", "--jobs"},
    {"--junit", "OUT.xml", "also write the results as JUnit XML"},
    {"--vcd-dir", "DIR", "write a waveform of each failing test into DIR"},
};

int RunTest(const std::vector<std::string>& args) {
    // "-j4" as make and ctest take it, besides "-j 4" and "--jobs=4".
    std::vector<std::string> spelled;
    for (const std::string& a : args) {
        const bool joined = a.size() > 2 && a.rfind("-j", 0) == 0;
        spelled.push_back(joined ? "-j" : a);
        if (joined) spelled.push_back(a.substr(2));
    }
    Options options = Options::Of(kCommand, spelled);
    if (!options.ok()) return UsageError(kCommand, options.error());
    long jobs = sysconf(_SC_NPROCESSORS_ONLN);
    if (auto j = options.Value("-j")) {
        char* end = nullptr;
        jobs = std::strtol(j->c_str(), &end, 10);
        if (j->empty() || *end || jobs < 1 || jobs > 256) return UsageError(kCommand, "-j takes a number from 1 to 256");
    }
    if (jobs < 1) jobs = 1;
    const auto junit = options.Value("--junit");
    const auto vcdDir = options.Value("--vcd-dir");
    if (vcdDir) {
        struct stat st {};
        if (stat(vcdDir->c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
            return UsageError(kCommand, "--vcd-dir: " + *vcdDir + " is not a folder");
    }
    // Outputs that could not be written are said before the tests run, not
    // after a long run (the files are still written whole at the end).
    std::vector<std::pair<std::string, std::string>> outputFolders;
    if (junit) outputFolders.emplace_back("--junit", FolderOf(*junit));
    if (vcdDir) outputFolders.emplace_back("--vcd-dir", *vcdDir);
    for (const auto& [option, folder] : outputFolders)
        if (access(folder.c_str(), W_OK | X_OK) != 0)
            return UsageError(kCommand, option + ": cannot write in " + folder + ": " + std::strerror(errno));
    std::vector<std::string> paths = options.Operands();
    if (paths.empty()) paths.push_back(".");

    // The files: as given, or found under the folders given.
    std::vector<std::string> files;
    std::vector<std::string> problems;
    Searched searched;
    for (const std::string& p : paths) {
        struct stat st {};
        if (stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
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
    std::vector<Worker> running;
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
            for (const Worker& w : running) kill(w.pid, SIGTERM);
            for (; next < files.size(); ++next) {
                results[next] = Failed(files[next], "not run: interrupted");
                ready[next] = true;
            }
        }
        while (next < files.size() && running.size() < static_cast<std::size_t>(jobs)) {
            Worker w;
            if (!Start(w, next, files[next], vcdDir ? waveforms[next] : std::string())) {
                results[next] = Failed(files[next], std::string("cannot start a worker: ") + std::strerror(errno));
                ready[next] = true;
            } else {
                running.push_back(std::move(w));
            }
            ++next;
        }
        if (!running.empty()) {
            std::vector<pollfd> fds;
            for (const Worker& w : running) fds.push_back({w.fd, POLLIN, 0});
            if (poll(fds.data(), fds.size(), -1) < 0 && errno != EINTR) {
                PrintError(std::string("poll: ") + std::strerror(errno));
                return kExitUsage;
            }
            for (std::size_t i = running.size(); i-- > 0;) {
                if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
                Worker& w = running[i];
                char buffer[65536];
                const ssize_t n = read(w.fd, buffer, sizeof buffer);
                if (n > 0) {
                    w.data.append(buffer, static_cast<std::size_t>(n));
                    continue;
                }
                if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
                results[w.index] = Collect(w, files[w.index]);
                ready[w.index] = true;
                running.erase(running.begin() + static_cast<std::ptrdiff_t>(i));
            }
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

}  // namespace

KORVID_COMMAND("test", "[-j N] [--junit OUT.xml] [--vcd-dir DIR] [FILE.test|FOLDER...]", RunTest,
               "Runs firmware test files (NAME.test, or every *.test under the folders given; default .) on the "
               "emulator and says which pass.",
               kTestOptions);

}  // namespace korvid::cli
