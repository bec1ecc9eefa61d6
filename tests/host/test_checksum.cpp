#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <ctime>

#include "host/checksum.h"
#include "host/sha256.h"
#include "host_fixture.h"

namespace koru::testing {
namespace {

class Checksum : public HostTest {
protected:
    // Writes a file with a fixed modification time.
    void put(const std::string& name, const std::string& text, time_t mtime) {
        std::string path = write_file(name, text);
        struct timespec times[2] = {{mtime, 0}, {mtime, 0}};
        ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    }
};

constexpr time_t k2024_03_05_203007 = 1709670607;  // 2024-03-05 20:30:07 UTC

TEST_F(Checksum, EmptyDirectoryHashesTheEmptyText) {
    EXPECT_EQ(directory_checksum(dir), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    // A directory that cannot be read lists nothing either.
    EXPECT_EQ(directory_checksum(dir + "/missing"), sha256_hex(""));
}

TEST_F(Checksum, ModuleFileNames) {
    const struct {
        const char* name;
        bool listed;
    } cases[] = {
        {"a.js", true},   {"a.JS", true},    {"a.jO", true},  {"b.Jo", true},    {"x.json", false},
        {"x.j", false},   {"x.jsx", false},  {"js", false},   {"x.ks", false},   {"x.jt", false},
        {"x.js.bak", false}, {"x.bak.js", true}, {".js", true}, {"x.", false},
    };
    for (const auto& c : cases) EXPECT_EQ(is_module_file_name(c.name), c.listed) << c.name;
}

// The hour gains 9 and never carries into the day.
TEST_F(Checksum, TimeTextAddsNineHoursWithoutCarry) {
    std::string text;
    ASSERT_TRUE(listing_time_text(k2024_03_05_203007, text));
    EXPECT_EQ(text, "2024/03/05 29:30:07");
    ASSERT_TRUE(listing_time_text(0, text));
    EXPECT_EQ(text, "1970/01/01 09:00:00");
    ASSERT_TRUE(listing_time_text(1709683199, text));  // 23:59:59 UTC
    EXPECT_EQ(text, "2024/03/05 32:59:59");
}

TEST_F(Checksum, SizeTextSplitsIntoSignedHalves) {
    EXPECT_EQ(listing_size_text(0), "0:0");
    EXPECT_EQ(listing_size_text(1234), "0:1234");
    EXPECT_EQ(listing_size_text(0x80000000LL), "0:-2147483648");
    EXPECT_EQ(listing_size_text(0x100000005LL), "1:5");
}

TEST_F(Checksum, ListingIsRecursiveFilteredAndSortedByBytes) {
    put("b.js", "12345", k2024_03_05_203007);
    put("sub/c.JO", "", 0);
    put("A.js", "x", 0);
    put("x.json", "{}", 0);
    put("readme.txt", "", 0);
    put("\xC3\xA9.js", "", 0);  // sorts after every ASCII name
    put("sub/deeper/d.jS", "ab", 0);
    std::string listing = listing_text(list_module_files(dir + "/"));  // a trailing "/" is dropped
    std::string expected = dir + "/A.js;1970/01/01 09:00:00;0:1\n" +
                           dir + "/b.js;2024/03/05 29:30:07;0:5\n" +
                           dir + "/sub/c.JO;1970/01/01 09:00:00;0:0\n" +
                           dir + "/sub/deeper/d.jS;1970/01/01 09:00:00;0:2\n" +
                           dir + "/\xC3\xA9.js;1970/01/01 09:00:00;0:0\n";
    EXPECT_EQ(listing, expected);
    EXPECT_EQ(directory_checksum(dir), sha256_hex(expected));
}

TEST_F(Checksum, LinkedDirectoriesAreNotFollowed) {
    put("a.js", "", 0);
    ASSERT_EQ(symlink(dir.c_str(), (dir + "/loop").c_str()), 0);
    ASSERT_EQ(symlink((dir + "/a.js").c_str(), (dir + "/b.js").c_str()), 0);
    auto entries = list_module_files(dir);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[1].path, dir + "/b.js");
}

TEST_F(Checksum, TouchingAFileChangesTheChecksum) {
    put("m.js", "var a;", 1000);
    std::string before = directory_checksum(dir);
    EXPECT_EQ(directory_checksum(dir), before);
    put("m.js", "var a;", 2000);
    EXPECT_NE(directory_checksum(dir), before);
}

TEST_F(Checksum, CheckPassesOnlyOnTheExactText) {
    put("m.js", "var a;", 1000);
    std::string sum = directory_checksum(dir);
    EXPECT_EQ(fatal_message([&] { check_module_directory(dir, sum); }), "");
    const std::string changed = "JSモジュールのディレクトリの内容が変わっています。";
    EXPECT_EQ(fatal_message([&] { check_module_directory(dir, sum.substr(0, 63)); }), changed);
    EXPECT_EQ(fatal_message([&] { check_module_directory(dir, sum + " "); }), changed);
    std::string upper = sum;
    for (char& c : upper) c = static_cast<char>(toupper(c));
    EXPECT_EQ(fatal_message([&] { check_module_directory(dir, upper); }), changed);
    put("n.jo", "", 1000);  // an added module
    EXPECT_EQ(fatal_message([&] { check_module_directory(dir, sum); }), changed);
}

}  // namespace
}  // namespace koru::testing
