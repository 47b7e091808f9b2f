// The flattening engine: the scan of one directory and the depth-first walk
// that moves every file below the root up into the root.
#pragma once

#include <deque>
#include <string>

namespace flatten {

// What one level of the walk is handed. Passed by value: each level owns its
// copy and never changes its caller's.
struct WalkFrame {
    std::string root;               // the directory named on the command line, byte for byte
    std::string dir_path;           // the directory this level flattens
    std::string dir_name;           // its own name; empty only for the root
    std::string index_path;         // its place among its siblings, level by level
    std::string parent_index_path;  // its parent's index path
};

// One directory's entries, split and sorted in ascending byte order. Names are
// taken from the front as they are handled, so memory shrinks as the walk goes.
struct DirectoryListing {
    std::deque<std::string> subdirectories;
    std::deque<std::string> files;
};

// Lists `dir_path` into `listing`. On failure prints the scan error and
// returns false with `listing` empty.
bool scan_directory(const std::string& dir_path, DirectoryListing& listing);

// Flattens the frame's directory and everything below it. True when every
// scan and every move succeeded; each failure's message is already printed.
bool flatten_directory(WalkFrame frame);

}  // namespace flatten
