#include <cstdio>

#include "flatten/flatten.h"
#include "flatten/naming.h"
#include "platform/platform.h"

namespace flatten {

namespace {

bool is_dot_entry(const std::string& name) { return name == "." || name == ".."; }

bool read_listing(const std::string& pattern, DirectoryListing& listing) {
    const platform::Enumeration enumeration = platform::open_enumeration(pattern);
    if (!enumeration) return false;
    platform::DirectoryEntry entry;
    for (;;) {
        switch (platform::next_entry(*enumeration, entry)) {
            case platform::Fetch::end:
                return true;
            case platform::Fetch::failed:
                // The rest of the directory is unknown; moving what was seen
                // would report success with files left behind.
                return false;
            case platform::Fetch::entry:
                if (!entry.is_directory) {
                    listing.files.push_back(std::move(entry.name));
                } else if (!is_dot_entry(entry.name)) {
                    listing.subdirectories.push_back(std::move(entry.name));
                }
                break;
        }
    }
}

}  // namespace

bool scan_directory(const std::string& dir_path, DirectoryListing& listing) {
    listing = DirectoryListing{};
    const std::string pattern = search_pattern(dir_path);
    if (!read_listing(pattern, listing)) {
        listing = DirectoryListing{};
        std::printf("ERROR scanning for %s\n", pattern.c_str());
        return false;
    }
    sort_names(listing.subdirectories);
    sort_names(listing.files);
    return true;
}

}  // namespace flatten
