#include <gtest/gtest.h>

#include <deque>
#include <string>

#include "flatten/naming.h"

namespace {

using flatten::WalkFrame;

TEST(IndexWidth, GrowsWithTheLargestIndexGivenOut) {
    const struct {
        std::size_t subdirectories;
        int width;
    } cases[] = {{1, 0}, {2, 1}, {10, 1}, {11, 2}, {100, 2}, {101, 3}, {1000, 3}, {1001, 4}};
    for (const auto& c : cases) EXPECT_EQ(flatten::index_width(c.subdirectories), c.width) << c.subdirectories;
}

TEST(FormatIndex, PadsWithZerosToTheWidth) {
    const struct {
        std::size_t index;
        int width;
        const char* text;
    } cases[] = {{0, 1, "0"}, {9, 1, "9"}, {0, 2, "00"}, {7, 2, "07"}, {10, 2, "10"}, {5, 3, "005"}, {100, 3, "100"}};
    for (const auto& c : cases) EXPECT_EQ(flatten::format_index(c.index, c.width), c.text);
}

TEST(ExtendIndexPath, AppendsTheIndexUnlessTheWidthIsZero) {
    const struct {
        const char* index_path;
        std::size_t index;
        int width;
        const char* extended;
    } cases[] = {
        {"", 0, 1, "0"},       {"", 3, 2, "03"},     {"0", 1, 1, "0_1"},
        {"0_1", 10, 2, "0_1_10"}, {"", 0, 0, ""},     {"2_05", 0, 0, "2_05"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(flatten::extend_index_path(c.index_path, c.index, c.width), c.extended)
            << c.index_path << " " << c.index << " " << c.width;
    }
}

TEST(DestinationPath, JoinsTheNonEmptyPartsWithUnderscores) {
    const struct {
        const char* root;
        const char* parent_index_path;
        const char* dir_name;
        const char* file;
        const char* posix;
        const char* windows;
    } cases[] = {
        // The worked example.
        {"/r", "0", "c", "y.txt", "/r/0_c_y.txt", "/r\\0_c_y.txt"},
        {"/r", "", "a", "x.txt", "/r/a_x.txt", "/r\\a_x.txt"},
        {"D:\\r", "0_12", "d", "w", "D:\\r/0_12_d_w", "D:\\r\\0_12_d_w"},
        // A root that already ends in a separator gets none added.
        {"/r/", "", "a", "x.txt", "/r/a_x.txt", "/r/a_x.txt"},
        {"D:\\r\\", "", "a", "x.txt", "D:\\r\\/a_x.txt", "D:\\r\\a_x.txt"},
        // An empty root composes a relative name.
        {"", "1", "b", "z", "1_b_z", "1_b_z"},
        // Empty directory name: only the parent index path and the file.
        {"/r", "3", "", "f", "/r/3_f", "/r\\3_f"},
        {"/r", "", "", "f", "/r/f", "/r\\f"},
    };
    for (const auto& c : cases) {
        const WalkFrame frame{c.root, "unused", c.dir_name, "unused", c.parent_index_path};
        EXPECT_EQ(flatten::destination_path(frame, c.file, platform::posix_style), c.posix);
        EXPECT_EQ(flatten::destination_path(frame, c.file, platform::windows_style), c.windows);
    }
}

TEST(JoinPath, NeverLooksForASeparatorAlreadyThere) {
    EXPECT_EQ(flatten::join_path("/r/", "a", platform::posix_style), "/r//a");
    EXPECT_EQ(flatten::join_path("D:\\r\\", "a", platform::windows_style), "D:\\r\\\\a");
    EXPECT_EQ(flatten::search_pattern("/tmp/r", platform::posix_style), "/tmp/r/*.*");
    EXPECT_EQ(flatten::search_pattern("D:\\missing", platform::windows_style), "D:\\missing\\*.*");
    EXPECT_EQ(flatten::search_pattern("", platform::windows_style), "\\*.*");
}

TEST(SortNames, OrdersByUnsignedBytesWithPrefixesFirst) {
    const struct {
        std::deque<std::string> given;
        std::deque<std::string> sorted;
    } cases[] = {
        {{"a", "B"}, {"B", "a"}},
        {{"ab", "a_", "a0", "a"}, {"a", "a0", "a_", "ab"}},
        {{"9", "10"}, {"10", "9"}},
        {{"a", "_", "Z"}, {"Z", "_", "a"}},
        // Bytes above 0x7f sort after every ASCII byte, whatever the locale.
        {{"\xc3\xa9t\xc3\xa9", "z", "\x7f", "e"}, {"e", "z", "\x7f", "\xc3\xa9t\xc3\xa9"}},
        {{}, {}},
        {{"only"}, {"only"}},
    };
    for (auto c : cases) {
        flatten::sort_names(c.given);
        EXPECT_EQ(c.given, c.sorted);
    }
}

}  // namespace
