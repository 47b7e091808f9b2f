#include "flatten/naming.h"

#include <algorithm>

namespace flatten {

int index_width(std::size_t n) {
    if (n <= 1) return 0;
    int digits = 1;
    for (std::size_t largest = n - 1; largest >= 10; largest /= 10) ++digits;
    return digits;
}

std::string format_index(std::size_t i, int width) {
    std::string digits = std::to_string(i);
    if (digits.size() < static_cast<std::size_t>(width)) digits.insert(0, width - digits.size(), '0');
    return digits;
}

std::string extend_index_path(std::string_view index_path, std::size_t i, int width) {
    std::string extended(index_path);
    if (width == 0) return extended;
    if (!extended.empty()) extended += '_';
    extended += format_index(i, width);
    return extended;
}

std::string join_path(std::string_view dir_path, std::string_view name, const platform::PathStyle& style) {
    std::string path;
    path.reserve(dir_path.size() + 1 + name.size());
    path.append(dir_path).append(1, style.separator).append(name);
    return path;
}

std::string search_pattern(std::string_view dir_path, const platform::PathStyle& style) {
    return join_path(dir_path, "*.*", style);
}

std::string destination_path(const WalkFrame& frame, std::string_view file_name,
                             const platform::PathStyle& style) {
    std::string path;
    path.reserve(frame.root.size() + frame.parent_index_path.size() + frame.dir_name.size() + file_name.size() + 3);
    path.append(frame.root);
    if (!path.empty() && style.root_endings.find(path.back()) == std::string_view::npos) {
        path += style.separator;
    }
    if (!frame.parent_index_path.empty()) path.append(frame.parent_index_path).append(1, '_');
    if (!frame.dir_name.empty()) path.append(frame.dir_name).append(1, '_');
    path.append(file_name);
    return path;
}

void sort_names(std::deque<std::string>& names) {
    // std::string compares through char_traits<char>, which compares bytes as
    // unsigned char: exactly the byte order, whatever the locale.
    std::ranges::sort(names);
}

}  // namespace flatten
