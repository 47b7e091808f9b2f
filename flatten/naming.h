// The naming rules: pure functions, no file system.
#pragma once

#include <cstddef>
#include <deque>
#include <string>
#include <string_view>

#include "flatten/flatten.h"
#include "platform/platform.h"

namespace flatten {

// Digits needed for the sibling indices of a directory with n >= 1
// subdirectories; 0 when n is 1, since a single subdirectory gets no index.
int index_width(std::size_t n);

// i in decimal, zero-padded on the left to `width` digits.
std::string format_index(std::size_t i, int width);

// The index path of the child with sibling index i; unchanged when width is 0.
std::string extend_index_path(std::string_view index_path, std::size_t i, int width);

// `dir_path`, the separator and `name`, with no check for a separator already
// at the end of `dir_path`.
std::string join_path(std::string_view dir_path, std::string_view name,
                      const platform::PathStyle& style = platform::native_style());

// The pattern that enumerates every entry of `dir_path`.
std::string search_pattern(std::string_view dir_path,
                           const platform::PathStyle& style = platform::native_style());

// Where a file of the frame's directory goes: the root, a separator unless the
// root already ends in one, then parent index path, directory name and file
// name joined by "_", empty parts left out.
std::string destination_path(const WalkFrame& frame, std::string_view file_name,
                             const platform::PathStyle& style = platform::native_style());

// Sorts names by their bytes as unsigned values, a prefix first.
void sort_names(std::deque<std::string>& names);

}  // namespace flatten
