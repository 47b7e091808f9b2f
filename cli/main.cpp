// The entry: one argument, the directory to flatten.
//
// Exit status: 0 when every file below the root was moved, 1 when the walk
// failed or its output could not be written, 2 for a wrong command line, and
// 128 plus the signal's number when a signal stopped it.
#include <cstdio>
#include <string>

#include "flatten/flatten.h"
#include "platform/platform.h"

namespace {

constexpr int exit_success = 0;
constexpr int exit_failed = 1;
constexpr int exit_usage = 2;

int run(int argc, char** argv) {
    // An empty argument would read the top of the file system and move its
    // files into the working directory.
    if (argc != 2 || argv[1][0] == '\0') {
        std::printf("Give directory path to flatten as argument.\n");
        return exit_usage;
    }
    platform::catch_stop_signals();
    const std::string root = argv[1];
    if (flatten::flatten_directory(flatten::WalkFrame{root, root, "", "", ""})) return exit_success;
    std::printf("\n\n***Failed\n");
    if (const int signal_number = platform::caught_stop_signal(); signal_number != 0) return 128 + signal_number;
    return exit_failed;
}

}  // namespace

int main(int argc, char** argv) {
    const int status = run(argc, argv);
    const bool output_lost = std::fflush(stdout) != 0 || std::ferror(stdout) != 0;
    if (output_lost && status == exit_success) return exit_failed;
    return status;
}
