// The scan on small real trees.
#include <gtest/gtest.h>

#include <deque>
#include <string>

#include "flatten/flatten.h"
#include "tree.h"

namespace {

using Names = std::deque<std::string>;

TEST(ScanDirectory, SplitsAndSortsTheEntries) {
    const testing_tree::TempDir temp;
    // A directory named like a file is a directory, a file without an
    // extension is a file, hidden entries are listed like any other, and a
    // link is an entry of its own, never its target.
    testing_tree::make_tree(temp.path(), {"b", "a.txt", "B", ".hidden", "dir.txt/", "sub/", ".hid/", "10", "9",
                                          "tosub@sub"});
    flatten::DirectoryListing listing;
    testing::internal::CaptureStdout();
    EXPECT_TRUE(flatten::scan_directory(temp.path().string(), listing));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(listing.files, (Names{".hidden", "10", "9", "B", "a.txt", "b", "tosub"}));
    EXPECT_EQ(listing.subdirectories, (Names{".hid", "dir.txt", "sub"}));
}

TEST(ScanDirectory, EmptyDirectoryGivesEmptyListing) {
    const testing_tree::TempDir temp;
    flatten::DirectoryListing listing{{"stale"}, {"stale"}};
    EXPECT_TRUE(flatten::scan_directory(temp.path().string(), listing));
    EXPECT_TRUE(listing.files.empty());
    EXPECT_TRUE(listing.subdirectories.empty());
}

TEST(ScanDirectory, ReportsTheSearchPatternWhenItCannotList) {
    const testing_tree::TempDir temp;
    testing_tree::make_tree(temp.path(), {"file"});
    for (const std::string name : {"missing", "file"}) {
        const std::string path = (temp.path() / name).string();
        flatten::DirectoryListing listing;
        testing::internal::CaptureStdout();
        EXPECT_FALSE(flatten::scan_directory(path, listing));
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "ERROR scanning for " + path + "/*.*\n");
        EXPECT_TRUE(listing.files.empty());
    }
}

}  // namespace
