#include "host/checksum.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "host/errors.h"
#include "host/sha256.h"

namespace koru {

namespace {

constexpr int kTimeErrorStatus = 2;

bool lower_is(char c, char want) { return c == want || c == want - ('a' - 'A'); }

// A module file under the listing: stat through symbolic links, so a linked
// file is listed with its target's time and size.
void add_file(const std::string& path, std::vector<ListingEntry>& out) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0) return;  // vanished while listing
    std::string time;
    if (!listing_time_text(st.st_mtime, time)) {
        std::fputs("FileTimeToSystemTime Error\n", stdout);
        std::fflush(stdout);
        std::exit(kTimeErrorStatus);
    }
    out.push_back({path, std::move(time), listing_size_text(static_cast<long long>(st.st_size))});
}

void list_into(const std::string& dir, std::vector<ListingEntry>& out) {
    DIR* d = opendir((dir + "/").c_str());
    if (!d) return;
    while (const dirent* e = readdir(d)) {
        const char* name = e->d_name;
        if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
        std::string path = dir + "/" + name;
        struct stat st;
        if (lstat(path.c_str(), &st) != 0) continue;
        // Directories are entered only when they are real ones: a linked
        // directory could lead back up the tree and never end.
        if (S_ISDIR(st.st_mode)) {
            list_into(path, out);
            continue;
        }
        if (is_module_file_name(name)) {
            struct stat target;
            if (S_ISLNK(st.st_mode) && (stat(path.c_str(), &target) != 0 || S_ISDIR(target.st_mode))) continue;
            add_file(path, out);
        }
    }
    closedir(d);
}

}  // namespace

bool is_module_file_name(std::string_view name) {
    size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || name.size() - dot != 3) return false;
    char a = name[dot + 1], b = name[dot + 2];
    return lower_is(a, 'j') && (lower_is(b, 'o') || lower_is(b, 's'));
}

bool listing_time_text(time_t t, std::string& out) {
    struct tm tm;
    if (!gmtime_r(&t, &tm)) return false;
    char buf[96];
    std::snprintf(buf, sizeof buf, "%d/%02d/%02d %02d:%02d:%02d", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday,
                  tm.tm_hour + 9, tm.tm_min, tm.tm_sec);
    out = buf;
    return true;
}

std::string listing_size_text(long long size) {
    auto bits = static_cast<unsigned long long>(size);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%d:%d", static_cast<int32_t>(static_cast<uint32_t>(bits >> 32)),
                  static_cast<int32_t>(static_cast<uint32_t>(bits)));
    return buf;
}

std::vector<ListingEntry> list_module_files(std::string dir) {
    if (!dir.empty() && dir.back() == '/') dir.pop_back();
    std::vector<ListingEntry> out;
    list_into(dir, out);
    // std::string compares as unsigned bytes (char_traits<char>::lt).
    std::sort(out.begin(), out.end(), [](const ListingEntry& a, const ListingEntry& b) { return a.path < b.path; });
    return out;
}

std::string listing_text(const std::vector<ListingEntry>& entries) {
    std::string text;
    for (const ListingEntry& e : entries) {
        text += e.path;
        text += ';';
        text += e.time;
        text += ';';
        text += e.size;
        text += '\n';
    }
    return text;
}

std::string directory_checksum(const std::string& dir) { return sha256_hex(listing_text(list_module_files(dir))); }

void check_module_directory(const std::string& dir, std::string_view expected) {
    if (directory_checksum(dir) != expected) fatal_startup(err::fatal_modules_changed);
}

}  // namespace koru
