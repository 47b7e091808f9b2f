// Real faults made while the built program runs: failed system calls injected
// with strace, signals, unwritable output, entries that vanish, paths too
// long. Whatever happens, every file is where it was or at the path printed.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tree.h"

namespace fs = std::filesystem;
using namespace testing_tree;

namespace {

// Twelve files in eight directories, the root's own file among them.
const std::vector<std::string> small_tree = {
    "r/keep", "r/a/a1", "r/a/a2", "r/a/b/b1", "r/a/b/c/c1", "r/a/b/c/c2",
    "r/a/d/d1", "r/e/e1", "r/e/e2", "r/e/f/f1", "r/g/g1", "r/g/g2",
};

// One directory read or one rename of a clean run, in the order made.
struct Event {
    bool is_rename;
    std::string dir;          // the directory read, or the one the file left (relative)
    std::string source;       // relative, renames only
    std::string destination;  // relative, renames only
};

std::string parent_of(const std::string& path) { return path.substr(0, path.rfind('/')); }

bool is_proper_ancestor(const std::string& ancestor, const std::string& dir) {
    return dir.size() > ancestor.size() && dir.starts_with(ancestor) && dir[ancestor.size()] == '/';
}

// The reads and renames of a clean run on a fresh copy of the small tree,
// as strace saw them.
std::vector<Event> traced_clean_run() {
    const TempDir temp;
    make_tree(temp.path(), small_tree);
    const std::string log = (temp.path() / "trace").string();
    const RunResult result = run(with_program(under_strace({"-qq", "-y", "-o", log, "-e", "trace=getdents64,renameat2"}),
                                               {(temp.path() / "r").string()}));
    EXPECT_EQ(result.status, 0) << result.out;
    const std::string base = temp.path().string() + "/";
    const std::regex read_call("getdents64\\(\\d+<" + base + "([^>]*)>");
    const std::regex rename_call("renameat2\\(AT_FDCWD[^,]*, \"" + base + "([^\"]*)\", AT_FDCWD[^,]*, \"" + base +
                                 "([^\"]*)\"");
    std::vector<Event> events;
    std::ifstream in(log);
    for (std::string line; std::getline(in, line);) {
        std::smatch match;
        if (std::regex_search(line, match, read_call)) {
            events.push_back({false, match[1], "", ""});
        } else if (std::regex_search(line, match, rename_call)) {
            events.push_back({true, parent_of(match[1]), match[1], match[2]});
        }
    }
    return events;
}

// What a run must print and leave when event `failing` fails: the moves
// before it, its message, then only the moves of the failed directory's
// ancestors (no further subdirectory is visited), then the banner.
struct Expected {
    std::string output;
    std::vector<std::string> after;
};

Expected expected_after_failure(const std::vector<Event>& events, std::size_t failing, const std::string& base) {
    const Event& failed = events[failing];
    Expected expected;
    std::set<std::string> moved;
    for (std::size_t i = 0; i < events.size(); ++i) {
        const Event& event = events[i];
        if (i == failing) {
            expected.output += event.is_rename
                                   ? move_failed(base + event.source, base + event.destination)
                                   : "ERROR scanning for " + base + event.dir + "/*.*\n";
            continue;
        }
        if (!event.is_rename) continue;
        if (i < failing || is_proper_ancestor(event.dir, failed.dir)) {
            expected.output += base + event.destination + "\n";
            moved.insert(event.source);
            expected.after.push_back(event.destination + "=" + event.source);
        }
    }
    expected.output += banner;
    for (const std::string& file : small_tree) {
        expected.after.push_back(moved.contains(file) ? parent_of(file) + "/" : file);
    }
    return expected;
}

class InjectedFault : public ::testing::Test {
protected:
    void SetUp() override {
        events_ = traced_clean_run();
        ASSERT_FALSE(events_.empty()) << "the clean run could not be traced";
    }

    // Fails the k-th call of `syscall` with `error` and checks the run
    // against the clean run's events; returns how many cases ran.
    int check_every_call(bool renames, const std::string& syscall, const std::string& error) {
        int k = 0;
        for (std::size_t i = 0; i < events_.size(); ++i) {
            if (events_[i].is_rename != renames) continue;
            ++k;
            const TempDir temp;
            make_tree(temp.path(), small_tree);
            const std::string base = temp.path().string() + "/";
            const RunResult result =
                run(with_program(under_strace({"-o", "/dev/null", "-e",
                                                "inject=" + syscall + ":error=" + error + ":when=" + std::to_string(k)}),
                                 {base + "r"}));
            const Expected expected = expected_after_failure(events_, i, base);
            SCOPED_TRACE(syscall + " call " + std::to_string(k) + " fails");
            EXPECT_EQ(result.out, expected.output);
            EXPECT_EQ(result.status, 1);
            EXPECT_EQ(snapshot(temp.path()), expected_snapshot(expected.after));
        }
        return k;
    }

    std::vector<Event> events_;
};

TEST_F(InjectedFault, TheCleanRunReadsEachDirectoryTwiceAndRenamesElevenFiles) {
    int reads = 0;
    int renames = 0;
    for (const Event& event : events_) (event.is_rename ? renames : reads)++;
    EXPECT_EQ(reads, 16);
    EXPECT_EQ(renames, 11);
}

TEST_F(InjectedFault, EveryFailedRenameStopsCleanly) { EXPECT_EQ(check_every_call(true, "renameat2", "EACCES"), 11); }

TEST_F(InjectedFault, EveryFailedDirectoryReadStopsCleanly) {
    EXPECT_EQ(check_every_call(false, "getdents64", "EIO"), 16);
}

std::string relative_output(const RunResult& result, const std::string& base) {
    std::string out = result.out;
    for (auto at = out.find(base); at != std::string::npos; at = out.find(base, at)) out.erase(at, base.size());
    return out;
}

TEST(LinkFallback, GivesTheCleanRunsResultWhereTheNoReplaceFlagIsRefused) {
    const TempDir clean;
    make_tree(clean.path(), small_tree);
    const RunResult expected = run({program_under_test(), (clean.path() / "r").string()});
    ASSERT_EQ(expected.status, 0);

    const TempDir temp;
    make_tree(temp.path(), small_tree);
    const RunResult result = run(with_program(under_strace({"-o", "/dev/null", "-e", "inject=renameat2:error=EINVAL"}),
                                              {(temp.path() / "r").string()}));
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(relative_output(result, temp.path().string()), relative_output(expected, clean.path().string()));
    EXPECT_EQ(snapshot(temp.path()), snapshot(clean.path()));
}

TEST(LinkFallback, EveryMoveFailsCleanlyWhereHardLinksAreRefusedToo) {
    const TempDir temp;
    make_tree(temp.path(), small_tree);
    const std::string base = temp.path().string() + "/";
    const RunResult result =
        run(with_program(under_strace({"-o", "/dev/null", "-e", "inject=renameat2:error=EINVAL", "-e",
                                       "inject=link,linkat:error=EPERM"}),
                         {base + "r"}));
    EXPECT_EQ(result.status, 1);
    // The first move fails; its directory's ancestors still try theirs.
    EXPECT_TRUE(result.out.starts_with(move_failed(base + "r/a/b/c/c1", base + "r/0_0_c_c1"))) << result.out;
    EXPECT_TRUE(result.out.ends_with(banner));
    std::istringstream lines(result.out);
    for (std::string line; std::getline(lines, line);) {
        EXPECT_TRUE(line.empty() || is_message_line(line)) << "a move reported as done: " << line;
    }
    EXPECT_EQ(snapshot(temp.path()), expected_snapshot(small_tree));
}

// A wide tree, so that a run takes long enough to be interrupted.
std::vector<std::string> wide_tree(int directories, int files_per_directory) {
    std::vector<std::string> entries = {"r/keep"};
    for (int d = 0; d < directories; ++d) {
        for (int f = 0; f < files_per_directory; ++f) {
            entries.push_back("r/d" + std::to_string(d) + "/f" + std::to_string(f));
        }
    }
    return entries;
}

// Checks the promise on a run's output: each printed path holds the file
// that was moved there, and every file that left its place was printed.
// Returns how many files moved.
std::size_t check_record(const fs::path& base, const std::string& printed, const std::vector<std::string>& tree) {
    std::set<std::string> moved;
    std::istringstream lines(printed);
    const std::string root = (base / "r").string() + "/";
    for (std::string line; std::getline(lines, line);) {
        if (line.empty() || line == "***Failed") continue;
        EXPECT_TRUE(line.starts_with(root)) << line;
        std::ifstream file(line);
        std::string content;
        EXPECT_TRUE(std::getline(file, content)) << "printed but missing: " << line;
        moved.insert(content);
    }
    for (const std::string& entry : tree) {
        if (moved.contains(entry)) continue;
        // Not printed, so still in its place.
        EXPECT_TRUE(fs::exists(base / entry)) << "lost: " << entry;
    }
    EXPECT_FALSE(moved.contains("r/keep"));
    return moved.size();
}

TEST(Interrupt, FinishesTheMoveUnderWayRecordsEveryMoveAndStops) {
    const struct {
        int signal_number;
        int status;
    } cases[] = {{SIGINT, 130}, {SIGTERM, 143}, {SIGHUP, 129}};
    const std::vector<std::string> tree = wide_tree(40, 750);
    for (const auto& c : cases) {
        SCOPED_TRACE("signal " + std::to_string(c.signal_number));
        const TempDir temp;
        make_tree(temp.path(), tree);
        Spawned spawned = spawn({program_under_test(), (temp.path() / "r").string()});
        // Let a few hundred moves happen first.
        std::string out;
        char buffer[4096];
        while (out.size() < 16384) {
            const ssize_t got = read(spawned.out, buffer, sizeof buffer);
            ASSERT_GT(got, 0) << "the run ended before it could be interrupted";
            out.append(buffer, static_cast<std::size_t>(got));
        }
        kill(spawned.pid, c.signal_number);
        const RunResult result = finish(spawned, std::move(out));
        EXPECT_EQ(result.status, c.status);
        EXPECT_TRUE(result.out.ends_with(banner));
        const std::size_t moved = check_record(temp.path(), result.out, tree);
        EXPECT_GT(moved, 0u);
        EXPECT_LT(moved, tree.size() - 1) << "the signal came too late to show anything";
    }
}

TEST(UnwritableOutput, AFullDiskStopsTheRunWithinOneBuffer) {
    const std::vector<std::string> tree = wide_tree(10, 300);
    const TempDir temp;
    make_tree(temp.path(), tree);
    const std::string root = (temp.path() / "r").string();
    const RunResult result = run({"sh", "-c", "exec \"$0\" \"$1\" > /dev/full", program_under_test(), root});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "");
    std::size_t moved = 0;
    for (const auto& entry : fs::directory_iterator(root)) moved += entry.is_regular_file() ? 1 : 0;
    moved -= 1;  // the root's own file
    // Lines are longer than the root and a separator; the buffer is 4 KiB.
    const std::size_t per_buffer = 4096 / (root.size() + 2) + 1;
    EXPECT_GE(moved, 1u);
    EXPECT_LE(moved, per_buffer);
}

TEST(UnwritableOutput, AClosedPipeStopsTheRun) {
    const struct {
        const char* name;
        const char* sigpipe;
        int status;
    } cases[] = {{"ignored", "trap '' PIPE; ", 1}, {"default", "", 128 + SIGPIPE}};
    const std::vector<std::string> tree = wide_tree(10, 300);
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string("SIGPIPE ") + c.name);
        const TempDir temp;
        make_tree(temp.path(), tree);
        const std::string script = std::string(c.sigpipe) + "\"$0\" \"$1\" | true; exit ${PIPESTATUS[0]}";
        const RunResult result = run({"bash", "-c", script, program_under_test(), (temp.path() / "r").string()});
        EXPECT_EQ(result.status, c.status);
        EXPECT_EQ(result.err, "");
        std::size_t left = 0;
        for (const std::string& entry : tree) left += fs::exists(temp.path() / entry) ? 1 : 0;
        EXPECT_GT(left, 1u) << "kept moving files after its output was gone";
    }
}

TEST(VanishingFile, AFileGoneBetweenTheScanAndItsMoveFailsCleanly) {
    const TempDir temp;
    make_tree(temp.path(), {"r/a/f1", "r/a/f2", "r/b/"});
    const std::string base = temp.path().string() + "/";
    const std::string log = base + "trace";
    // The first rename waits a second; by then the scan of a is done, and
    // f2 is removed behind the program's back.
    Spawned spawned = spawn(with_program(
        under_strace({"-qq", "-o", log, "-e", "trace=renameat2", "-e", "inject=renameat2:delay_enter=1000000:when=1"}),
        {base + "r"}));
    bool renaming = false;
    for (int tries = 0; tries < 1000 && !renaming; ++tries) {
        std::ifstream in(log);
        std::stringstream text;
        text << in.rdbuf();
        renaming = text.str().find("renameat2(") != std::string::npos;
        if (!renaming) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_TRUE(renaming);
    ASSERT_TRUE(fs::remove(base + "r/a/f2"));
    const RunResult result = finish(spawned, "");
    EXPECT_EQ(result.out, base + "r/a_f1\n" + move_failed(base + "r/a/f2", base + "r/a_f2") + banner);
    EXPECT_EQ(result.status, 1);
    fs::remove(log);
    EXPECT_EQ(snapshot(temp.path()), expected_snapshot({"r/a/", "r/b/", "r/a_f1=r/a/f1"}));
}

TEST(DeepTree, APathLongerThanTheSystemTakesIsACleanScanFailure) {
    const TempDir temp;
    make_tree(temp.path(), {"r/other/"});
    // Built level by level from inside, since the whole path is too long
    // for any single call.
    const std::string name(250, 'd');
    int dir = open((temp.path() / "r").c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(dir, 0);
    for (int level = 0; level < 20; ++level) {
        ASSERT_EQ(mkdirat(dir, name.c_str(), 0755), 0);
        const int next = openat(dir, name.c_str(), O_RDONLY | O_DIRECTORY);
        if (level == 0) {
            const int file = openat(next, "x", O_WRONLY | O_CREAT, 0644);
            close(file);
        }
        close(dir);
        dir = next;
    }
    close(dir);
    const std::string root = (temp.path() / "r").string();
    const RunResult result = run({program_under_test(), root});
    // The chain is cleared with a tool that handles such depths.
    run({"rm", "-rf", root + "/" + name});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "");
    EXPECT_TRUE(result.out.starts_with("ERROR scanning for " + root + "/" + name + "/" + name)) << result.out;
    // Its ancestors still moved their files: the first level's x.
    EXPECT_TRUE(result.out.ends_with("\n" + root + "/" + name + "_x\n" + banner)) << result.out;
}

}  // namespace
