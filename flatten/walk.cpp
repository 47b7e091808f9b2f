#include <cstdio>
#include <utility>

#include "flatten/flatten.h"
#include "flatten/naming.h"
#include "platform/platform.h"

namespace flatten {

namespace {

// The walk goes no further once it was asked to stop, or once the record of
// its moves can no longer be written: every file moved must be on the output.
bool must_stop() { return platform::caught_stop_signal() != 0 || std::ferror(stdout) != 0; }

std::string take_front(std::deque<std::string>& names) {
    std::string name = std::move(names.front());
    names.pop_front();
    return name;
}

// Flattens each subdirectory in sorted order and stops at the first failure:
// no further sibling is visited.
bool flatten_subdirectories(const WalkFrame& frame, std::deque<std::string>& subdirectories) {
    const int width = index_width(subdirectories.size());
    std::size_t counter = 0;
    while (!subdirectories.empty()) {
        std::string name = take_front(subdirectories);
        WalkFrame child{frame.root, join_path(frame.dir_path, name), std::move(name),
                        extend_index_path(frame.index_path, counter, width), frame.index_path};
        if (width != 0) ++counter;
        if (!flatten_directory(std::move(child))) return false;
    }
    return true;
}

// Moves the directory's own files into the root, stopping at the first that
// cannot move: the rest stay where they are.
bool move_files(const WalkFrame& frame, std::deque<std::string>& files) {
    while (!files.empty()) {
        if (must_stop()) return false;
        const std::string name = take_front(files);
        const std::string source = join_path(frame.dir_path, name);
        const std::string destination = destination_path(frame, name);
        if (!platform::move_file_no_replace(source, destination)) {
            std::printf("\n\n*** Failed to move: %s\n to %s\n\n", source.c_str(), destination.c_str());
            return false;
        }
        std::printf("%s\n", destination.c_str());
    }
    return true;
}

}  // namespace

bool flatten_directory(WalkFrame frame) {
    if (must_stop()) return false;
    DirectoryListing listing;
    if (!scan_directory(frame.dir_path, listing)) return false;
    bool ok = flatten_subdirectories(frame, listing.subdirectories);
    listing.subdirectories = {};
    // Every directory below the root moves its files, even after a failure
    // deeper down; only the root's own files stay. A name from a listing is
    // never empty, so an empty name marks the root.
    const bool is_root = frame.dir_name.empty();
    if (!is_root && !move_files(frame, listing.files)) ok = false;
    return ok;
}

}  // namespace flatten
