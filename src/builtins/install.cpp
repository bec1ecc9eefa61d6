#include "builtins/install.h"

#include "builtins/date/date.h"
#include "builtins/families.h"
#include "builtins/method_table.h"
#include "strings/regex/regex.h"
#include "strings/strings.h"

namespace koru {

// Among the large zero-initialised data after .bss (see g_journal_area): a
// request that calls no method never touches it, and in .bss it would spread
// the small variables every request touches over one more page.
[[gnu::section(".lbss.koru_method_slots")]] constinit MethodSlotCache g_method_slots;

int method_slot_miss(const EntryName* entries, size_t count, uint32_t name_symbol, std::string_view name) {
    int slot = find_entry(entries, count, name);
    if (slot != kNoMethod && name.size() <= MethodSlotCache::kNameMax) {
        auto& e = g_method_slots.entries[(name_symbol ^ (reinterpret_cast<uintptr_t>(entries) >> 4)) %
                                         MethodSlotCache::kEntries];
        e.table = entries;
        e.symbol = name_symbol;
        e.slot = static_cast<int16_t>(slot);
        e.length = static_cast<uint8_t>(name.size());
        std::memcpy(e.name, name.data(), name.size());
    }
    return slot;
}

void builtins_install() {
    date_install();
    install_string_methods();
    install_regexp_methods();
    array_install();
    math_install();
    number_install();
    hash_install();
    object_install();
    string_static_install();
}

}  // namespace koru
