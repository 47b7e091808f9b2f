// Small real trees for the tests, and running the built program on them.
#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace testing_tree {

// A fresh directory under the system's temporary folder, removed with
// everything in it (whatever its permissions) when the object goes away.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

// Lays entries down below `base`, in order. "d/" is a directory; "l@target" a
// symbolic link; "p|fifo" a named pipe and "s|socket" a socket; anything else
// a file whose content is its own relative path, so that a moved file can be
// traced back to where it came from.
void make_tree(const std::filesystem::path& base, const std::vector<std::string>& entries);

// Everything below `base`, links not followed: relative path to content for
// files, "@target" for links, "|fifo" and "|socket" for those, "/" for
// directories (whose paths end in "/").
using Snapshot = std::map<std::string, std::string>;
Snapshot snapshot(const std::filesystem::path& base);

// The snapshot that the entries describe: a file "new=old" holds the content
// that make_tree gave "old"; other entries read as in make_tree.
// (Names in these entries hold none of "@", "=" and "|".)
Snapshot expected_snapshot(const std::vector<std::string>& entries);

// Hands the tree to the unprivileged user that runs the program when the
// tests run as root, so that permission faults are real faults.
void give_to_runner(const std::filesystem::path& base);

struct RunResult {
    std::string out;
    std::string err;
    int status = -1;  // exit status, or 128 + signal
};

// Runs argv[0] (looked up on PATH when it has no slash) with the rest as
// arguments; with `unprivileged`, under the runner's user when we are root.
RunResult run(const std::vector<std::string>& argv, bool unprivileged = false);

// A program started with its standard output on a pipe that the test reads
// at its own pace; standard error is discarded.
struct Spawned {
    int pid = -1;
    int out = -1;  // read end of the program's standard output
};
Spawned spawn(const std::vector<std::string>& argv);
// Reads the rest of the output, waits, and returns it with the status.
RunResult finish(Spawned spawned, std::string out_so_far);

// The program's failure messages, as the tests expect them.
inline const std::string banner = "\n\n***Failed\n";
std::string move_failed(const std::string& source, const std::string& destination);

// True for an output line that belongs to a message, not to a moved file.
bool is_message_line(const std::string& line);

// `command`, then the program under test with `args`.
std::vector<std::string> with_program(std::vector<std::string> command, const std::vector<std::string>& args);

// The start of a command that runs a program under strace with `options`
// (fault injection, a trace), followed by "--".
std::vector<std::string> under_strace(const std::vector<std::string>& options);

// The program under test, as the build names it in the environment.
std::string program_under_test();

}  // namespace testing_tree
