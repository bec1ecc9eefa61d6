// The module directory checksum: an installation pins the module files
// under its MODULE_DIR (paths, modification times and sizes) by the SHA-256
// of their listing, and the program refuses to run when they change.
#pragma once
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

namespace koru {

struct ListingEntry {
    std::string path, time, size;
};

// True for the names of module files: the last "." is followed by exactly
// two characters, "j" then "o" or "s", in either case.
bool is_module_file_name(std::string_view name);
// The time form of a listing entry: UTC calendar fields with 9 added to the
// hour and nothing carried into the day, so hours 24 to 32 occur.  False when
// the time has no calendar form.
bool listing_time_text(time_t t, std::string& out);
// The size form: the high and the low 32 bits, each as a signed number.
std::string listing_size_text(long long size);

// Every module file below the directory, sorted by path as unsigned bytes.
// A directory that cannot be read contributes nothing.
std::vector<ListingEntry> list_module_files(std::string dir);
// The listing text: one "path;time;size\n" line per entry.
std::string listing_text(const std::vector<ListingEntry>& entries);
// The 64-character checksum of the directory text as written.
std::string directory_checksum(const std::string& dir);

// Ends the process with a fatal start-up error when the checksum of the
// directory differs from the expected text.
void check_module_directory(const std::string& dir, std::string_view expected);

}  // namespace koru
