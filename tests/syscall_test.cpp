// The system calls a run makes, counted with strace: one read of each
// directory, one rename per file, one write per output buffer, and nothing
// per entry beyond that (no stat, no check before a rename, no flush per
// line). The counts are exact figures, not timings, so they can be asserted.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>

#include "tree.h"

using namespace testing_tree;

namespace {

// Memory management grows with what the allocator needs (and differs in a
// sanitizer build); it is not the walk's own work.
const std::set<std::string> memory_calls = {"mmap", "munmap", "brk", "mprotect", "madvise", "mremap"};

struct Counted {
    RunResult result;
    std::map<std::string, long> calls;
    long work = 0;  // every call but memory management
};

Counted counted_run(const std::string& root, const std::string& log) {
    Counted counted{run(with_program(under_strace({"-c", "-o", log}), {root})), {}, 0};
    std::ifstream in(log);
    for (std::string line; std::getline(in, line);) {
        // "% time seconds usecs/call calls [errors] syscall"
        std::istringstream fields(line);
        std::string percent, seconds, per_call;
        long calls = 0;
        if (!(fields >> percent >> seconds >> per_call >> calls)) continue;
        std::string last, word;
        while (fields >> word) last = word;
        if (last.empty() || last == "total") continue;
        counted.calls[last] += calls;
        if (!memory_calls.contains(last)) counted.work += calls;
    }
    return counted;
}

TEST(SystemCalls, OnePerFilePlusFivePerDirectoryPlusOnePerOutputBuffer) {
    constexpr int directories = 30;  // each holding a directory s with the files
    constexpr int files_each = 10;
    std::vector<std::string> tree = {"r/keep", "empty/"};
    for (int d = 0; d < directories; ++d) {
        for (int f = 0; f < files_each; ++f) tree.push_back("r/d" + std::to_string(d) + "/s/f" + std::to_string(f));
    }
    const TempDir temp;
    make_tree(temp.path(), tree);

    // Start-up and the root's own read: a run on an empty directory.
    const Counted baseline = counted_run((temp.path() / "empty").string(), (temp.path() / "base.log").string());
    ASSERT_EQ(baseline.result.status, 0);
    ASSERT_GT(baseline.work, 0) << "strace counted nothing";

    const Counted counted = counted_run((temp.path() / "r").string(), (temp.path() / "run.log").string());
    ASSERT_EQ(counted.result.status, 0);
    const long files = directories * files_each;
    const long directories_below_root = 2 * directories;
    const long output_buffers = static_cast<long>((counted.result.out.size() + 4095) / 4096);
    EXPECT_EQ(counted.calls.at("renameat2"), files);
    // The C library looks at standard output once, before its first write.
    const long first_output = 1;
    EXPECT_LE(counted.work, baseline.work + first_output + files + 5 * directories_below_root + output_buffers);
    EXPECT_LE(counted.calls.at("write"), output_buffers);
}

}  // namespace
