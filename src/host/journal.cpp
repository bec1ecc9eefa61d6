#include "host/journal.h"

#include <string>

namespace koru {

namespace {
std::string g_journal;
}

void journal_append(const char* text, size_t len) { g_journal.append(text, len); }
std::string_view journal_buffer() { return g_journal; }
void journal_reset() { g_journal.clear(); }
void journal_write() {}

}  // namespace koru
