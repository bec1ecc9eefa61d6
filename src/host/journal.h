// The per-request journal: collected in memory during the request and
// appended to the LOGFILE under an exclusive lock at the end.
#pragma once
#include <cstddef>
#include <string_view>

namespace koru {

void journal_append(const char* text, size_t len);
inline void journal_append(std::string_view s) { journal_append(s.data(), s.size()); }
std::string_view journal_buffer();  // what has been collected so far
void journal_reset();

// Writes the collected journal to the configured file, if one is configured.
void journal_write();

}  // namespace koru
