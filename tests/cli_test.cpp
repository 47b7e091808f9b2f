// The built program on small real trees: its exact output, exit status and the
// tree it leaves behind.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "tree.h"

namespace fs = std::filesystem;
using namespace testing_tree;

namespace {

const std::string usage = "Give directory path to flatten as argument.\n";

struct Lock {
    std::string dir;
    mode_t mode;
};

enum class Systems { both, posix, windows };

struct CliCase {
    std::string name;
    std::vector<std::string> before;  // the tree, as make_tree reads it
    // Arguments and output are written with "/" for the separator, "{B}" for
    // the temporary folder that holds the tree and "{/}" for a slash that
    // stays a slash on Windows too.
    std::vector<std::string> args;
    std::string output;
    int status;
    std::vector<std::string> after;   // as expected_snapshot reads it
    std::vector<Lock> locks = {};     // permissions set before the run; faults need an unprivileged runner
    std::vector<std::string> wrapper = {};  // a command that runs the program, e.g. to inject a fault
    Systems systems = Systems::both;
};

// How the program is run and how it spells paths: natively, or the Windows
// build under Wine with the drive that Wine maps to "/".
struct Style {
    const char* name;
    const char* program_variable;  // names the program in the environment
    char separator;
    const char* newline;           // text mode on Windows ends lines with CR LF
    bool under_wine;
};

const Style posix{"Posix", "FLATTEN_EXE", '/', "\n", false};
const Style windows{"Windows", "FLATTEN_WINDOWS_EXE", '\\', "\r\n", true};

std::string replace_all(std::string text, std::string_view from, std::string_view to) {
    for (auto at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
    return text;
}

std::string tool_path(const fs::path& path, const Style& style) {
    if (!style.under_wine) return path.string();
    return "Z:" + replace_all(path.string(), "/", "\\");
}

std::string expand(const std::string& text, const fs::path& base, const Style& style) {
    std::string expanded = replace_all(text, "{/}", "\x01");
    expanded = replace_all(expanded, "/", std::string(1, style.separator));
    expanded = replace_all(expanded, "{B}", tool_path(base, style));
    expanded = replace_all(expanded, "\x01", "/");
    return replace_all(expanded, "\n", style.newline);
}

// The longest name a file system takes: with a directory name in front it
// no longer fits.
const std::string long_name(255, 'n');

const std::vector<std::string> example_before = {"r/keep.txt", "r/a/x.txt", "r/a/c/y.txt", "r/a/d/w.txt", "r/b/z.txt"};

// A root with n subdirectories, each holding a directory s with f.txt: the
// index of the subdirectory shows in the file's new name.
CliCase width_case(int n, int width) {
    CliCase c{"Width" + std::to_string(n), {}, {"{B}/r"}, "", 0, {}};
    for (int i = 0; i < n; ++i) {
        char dir[16];
        char index[16];
        std::snprintf(dir, sizeof dir, "r/d%03d", i);
        std::snprintf(index, sizeof index, "%0*d", width, i);
        c.before.push_back(std::string(dir) + "/s/f.txt");
        c.output += "{B}/r/" + std::string(index) + "_s_f.txt\n";
        c.after.push_back(std::string(dir) + "/s/");
        c.after.push_back("r/" + std::string(index) + "_s_f.txt=" + dir + "/s/f.txt");
    }
    return c;
}

std::vector<CliCase> cases() {
    std::vector<CliCase> all = {
        {"WorkedExample", example_before, {"{B}/r"},
         "{B}/r/0_c_y.txt\n{B}/r/0_d_w.txt\n{B}/r/a_x.txt\n{B}/r/b_z.txt\n", 0,
         {"r/keep.txt", "r/a/c/", "r/a/d/", "r/b/", "r/0_c_y.txt=r/a/c/y.txt", "r/0_d_w.txt=r/a/d/w.txt",
          "r/a_x.txt=r/a/x.txt", "r/b_z.txt=r/b/z.txt"}},
        {"RootWithTrailingSlash", {"r/a/x.txt", "r/b/c/y.txt", "r/b/d/z.txt"}, {"{B}/r/"},
         "{B}/r/a_x.txt\n{B}/r/1_c_y.txt\n{B}/r/1_d_z.txt\n", 0,
         {"r/a/", "r/b/c/", "r/b/d/", "r/a_x.txt=r/a/x.txt", "r/1_c_y.txt=r/b/c/y.txt", "r/1_d_z.txt=r/b/d/z.txt"}},
        // The separator after the root is never doubled; the joins below it
        // do not look for one.
        {"TrailingSeparatorInFailureMessage", {"r/a_x.txt", "r/a/x.txt"}, {"{B}/r/"},
         move_failed("{B}/r//a/x.txt", "{B}/r/a_x.txt") + banner, 1, {"r/a_x.txt", "r/a/x.txt"}},
        {"RootEndingInSlashOnWindows", {"r/a/x.txt", "r/b/y.txt"}, {"{B}/r{/}"}, "{B}/r{/}a_x.txt\n{B}/r{/}b_y.txt\n", 0,
         {"r/a/", "r/b/", "r/a_x.txt=r/a/x.txt", "r/b_y.txt=r/b/y.txt"}, {}, {}, Systems::windows},
        {"RelativeRoot", {"r/a/x.txt", "r/b/y.txt"}, {"r"}, "r/a_x.txt\nr/b_y.txt\n", 0,
         {"r/a/", "r/b/", "r/a_x.txt=r/a/x.txt", "r/b_y.txt=r/b/y.txt"}},
        // A single subdirectory gets no index: c's index path is a's.
        {"SingleSubdirectoryGetsNoIndex", {"r/a/c/y.txt", "r/b/"}, {"{B}/r"}, "{B}/r/0_c_y.txt\n", 0,
         {"r/a/c/", "r/b/", "r/0_c_y.txt=r/a/c/y.txt"}},
        // The root's only subdirectory, and a chain of only subdirectories,
        // move their files too.
        {"OnlySubdirectoryChain", {"r/keep", "r/a/x.txt", "r/a/b/c/y.txt"}, {"{B}/r"}, "{B}/r/c_y.txt\n{B}/r/a_x.txt\n",
         0, {"r/keep", "r/a/b/c/", "r/c_y.txt=r/a/b/c/y.txt", "r/a_x.txt=r/a/x.txt"}},
        {"CollisionWithARootFile", {"r/a_x.txt", "r/a/x.txt", "r/a/y.txt", "r/b/z.txt"}, {"{B}/r"},
         move_failed("{B}/r/a/x.txt", "{B}/r/a_x.txt") + banner, 1,
         {"r/a_x.txt", "r/a/x.txt", "r/a/y.txt", "r/b/z.txt"}},
        // a/b_c.txt and a_b/c.txt both compose a_b_c.txt: the first in sorted
        // order wins, the second fails like any collision.
        {"TwoFilesComposeOneName", {"r/a/b_c.txt", "r/a_b/c.txt", "r/z/f"}, {"{B}/r"},
         "{B}/r/a_b_c.txt\n" + move_failed("{B}/r/a_b/c.txt", "{B}/r/a_b_c.txt") + banner, 1,
         {"r/a/", "r/a_b_c.txt=r/a/b_c.txt", "r/a_b/c.txt", "r/z/f"}},
        // Both y levels below x have x's index path and the same name.
        {"NestedSameNameDirectories", {"r/x/y/f.txt", "r/x/y/y/f.txt", "r/z/g"}, {"{B}/r"},
         "{B}/r/0_y_f.txt\n" + move_failed("{B}/r/x/y/f.txt", "{B}/r/0_y_f.txt") + banner, 1,
         {"r/x/y/f.txt", "r/x/y/y/", "r/0_y_f.txt=r/x/y/y/f.txt", "r/z/g"}},
        // c cannot be listed: d and b are not visited, a's own file still moves.
        {"UnreadableDirectory", example_before, {"{B}/r"},
         "ERROR scanning for {B}/r/a/c/*.*\n{B}/r/a_x.txt\n" + banner, 1,
         {"r/keep.txt", "r/a/c/y.txt", "r/a/d/w.txt", "r/b/z.txt", "r/a_x.txt=r/a/x.txt"},
         {{"r/a/c", 0}}},
        {"ReadOnlyDirectory", {"r/a/x.txt", "r/a/y.txt", "r/b/z.txt"}, {"{B}/r"},
         move_failed("{B}/r/a/x.txt", "{B}/r/a_x.txt") + banner, 1, {"r/a/x.txt", "r/a/y.txt", "r/b/z.txt"},
         {{"r/a", 0555}}},
        {"UnwritableRoot", {"r/a/x.txt", "r/b/z.txt"}, {"{B}/r"},
         move_failed("{B}/r/a/x.txt", "{B}/r/a_x.txt") + banner, 1, {"r/a/x.txt", "r/b/z.txt"}, {{"r", 0555}}},
        // The end of a directory and a failed read are told apart: a read
        // that fails after the first entries fails the scan.
        {"FailedFurtherRead", {"r/a/x.txt", "r/b/y.txt"}, {"{B}/r"}, "ERROR scanning for {B}/r/*.*\n" + banner, 1,
         {"r/a/x.txt", "r/b/y.txt"}, {}, under_strace({"-o", "/dev/null", "-e", "inject=getdents64:error=EIO:when=2"})},
        {"FailedFirstReadBelowTheRoot", {"r/a/x.txt", "r/b/y.txt"}, {"{B}/r"},
         "ERROR scanning for {B}/r/a/*.*\n" + banner, 1, {"r/a/x.txt", "r/b/y.txt"}, {},
         under_strace({"-o", "/dev/null", "-e", "inject=getdents64:error=EIO:when=3"})},
        {"MissingRoot", {"r/a/x.txt"}, {"{B}/missing"}, "ERROR scanning for {B}/missing/*.*\n" + banner, 1,
         {"r/a/x.txt"}},
        {"RootIsAFile", {"file"}, {"{B}/file"}, "ERROR scanning for {B}/file/*.*\n" + banner, 1, {"file"}},
        {"NoArgument", {"r/a/x.txt"}, {}, usage, 2, {"r/a/x.txt"}},
        {"TwoArguments", {"r/a/x.txt"}, {"{B}/r", "{B}/r"}, usage, 2, {"r/a/x.txt"}},
        {"EmptyArgument", {"r/a/x.txt"}, {""}, usage, 2, {"r/a/x.txt"}},
        {"NoSubdirectories", {"r/x.txt", "r/y"}, {"{B}/r"}, "", 0, {"r/x.txt", "r/y"}},
        {"EmptySubdirectories", {"r/x.txt", "r/a/", "r/b/c/"}, {"{B}/r"}, "", 0, {"r/x.txt", "r/a/", "r/b/c/"}},
        // Links are moved as links; the link to an ancestor is not followed,
        // so nothing loops and the target is untouched.
        {"LinksAreMovedNotFollowed", {"r/t.txt", "r/a/x.txt", "r/a/tofile@../t.txt", "r/a/up@..", "r/b/"}, {"{B}/r"},
         "{B}/r/a_tofile\n{B}/r/a_up\n{B}/r/a_x.txt\n", 0,
         {"r/t.txt", "r/a/", "r/b/", "r/a_tofile@../t.txt", "r/a_up@..", "r/a_x.txt=r/a/x.txt"}, {}, {},
         Systems::posix},
        {"SpacesAndHighBytes", {"r/my dir/a file.txt", "r/caf\xc3\xa9/\xff.bin", "r/-x/-n"}, {"{B}/r"},
         "{B}/r/-x_-n\n{B}/r/caf\xc3\xa9_\xff.bin\n{B}/r/my dir_a file.txt\n", 0,
         {"r/my dir/", "r/caf\xc3\xa9/", "r/-x/", "r/my dir_a file.txt=r/my dir/a file.txt",
          "r/caf\xc3\xa9_\xff.bin=r/caf\xc3\xa9/\xff.bin", "r/-x_-n=r/-x/-n"},
         {}, {}, Systems::posix},
        // Hostile names and entries.
        {"DestinationNameTooLong", {"r/a/" + long_name, "r/b/z"}, {"{B}/r"},
         move_failed("{B}/r/a/" + long_name, "{B}/r/a_" + long_name) + banner, 1, {"r/a/" + long_name, "r/b/z"},
         {}, {}, Systems::posix},
        {"NewlineInAName", {"r/a/new\nline", "r/b/"}, {"{B}/r"}, "{B}/r/a_new\nline\n", 0,
         {"r/a/", "r/b/", "r/a_new\nline=r/a/new\nline"}, {}, {}, Systems::posix},
        // Moved as entries, never opened: a pipe with no writer would block.
        {"PipeAndSocketAreMovedUnopened", {"r/a/p|fifo", "r/a/s|socket", "r/b/x"}, {"{B}/r"},
         "{B}/r/a_p\n{B}/r/a_s\n{B}/r/b_x\n", 0, {"r/a/", "r/b/", "r/a_p|fifo", "r/a_s|socket", "r/b_x=r/b/x"},
         {}, {}, Systems::posix},
    };
    for (const auto& [n, width] : {std::pair{10, 1}, {11, 2}, {100, 2}, {101, 3}}) all.push_back(width_case(n, width));
    return all;
}

struct StyledCase {
    Style style;
    CliCase c;
};

// Names the case in failure reports instead of dumping its bytes.
void PrintTo(const StyledCase& styled, std::ostream* os) { *os << styled.c.name; }

std::vector<StyledCase> cases_for(const Style& style) {
    std::vector<StyledCase> chosen;
    for (CliCase& c : cases()) {
        const bool posix_only = c.systems == Systems::posix || !c.locks.empty() || !c.wrapper.empty();
        const bool wanted = style.under_wine ? !posix_only : c.systems != Systems::windows;
        if (wanted) chosen.push_back({style, std::move(c)});
    }
    return chosen;
}

class Cli : public ::testing::TestWithParam<StyledCase> {};

TEST_P(Cli, OutputStatusAndTree) {
    const auto& [style, c] = GetParam();
    const char* built = std::getenv(style.program_variable);
    ASSERT_NE(built, nullptr) << style.program_variable << " must name the program to test";
    const TempDir temp;
    const fs::path& base = temp.path();
    make_tree(base, c.before);
    // The program runs from inside the folder, so relative roots work and
    // an unprivileged runner can reach it.
    const fs::path program = base / fs::path(built).filename();
    fs::copy_file(built, program);
    const bool unprivileged = !c.locks.empty();
    if (unprivileged) give_to_runner(base);
    for (const Lock& lock : c.locks) ASSERT_EQ(chmod((base / lock.dir).c_str(), lock.mode), 0) << lock.dir;

    std::vector<std::string> argv = c.wrapper;
    if (style.under_wine) {
        // Wine's own messages would mix with the program's.
        argv.insert(argv.end(), {"env", "WINEDEBUG=-all", FLATTEN_WINE});
    }
    argv.push_back(program.string());
    for (const std::string& arg : c.args) argv.push_back(expand(arg, base, style));
    const fs::path previous = fs::current_path();
    fs::current_path(base);
    const RunResult result = run(argv, unprivileged);
    fs::current_path(previous);

    for (const Lock& lock : c.locks) chmod((base / lock.dir).c_str(), 0755);
    fs::remove(program);
    EXPECT_EQ(result.out, expand(c.output, base, style));
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.status, c.status);
    EXPECT_EQ(snapshot(base), expected_snapshot(c.after));
}

const auto case_name = [](const auto& test) { return test.param.c.name; };
INSTANTIATE_TEST_SUITE_P(Posix, Cli, ::testing::ValuesIn(cases_for(posix)), case_name);
INSTANTIATE_TEST_SUITE_P(Windows, Cli, ::testing::ValuesIn(cases_for(windows)), case_name);

}  // namespace
