// The process-wide symbol table: every identifier and property name is
// interned once and referred to by its symbol number everywhere (compiled
// code, hash keys, object files).  Numbers 0..52 are the predefined names.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "host/engine.h"

namespace koru {


// Symbol numbers of the predefined names.
enum Sym : uint32_t {
    SYM_undefined = 0, SYM_true, SYM_false, SYM_null, SYM_NaN, SYM_this, SYM_Math, SYM_column,
    SYM_value, SYM_console, SYM_Object, SYM_Function, SYM_Connection, SYM_name, SYM_message,
    SYM_Number, SYM_Integer, SYM_Float, SYM_Date, SYM_Error, SYM_RegExp, SYM_String, SYM_Array,
    SYM_Hash, SYM_Exception, SYM_typeof, SYM_instanceof, SYM_index, SYM_indices, SYM_input,
    SYM_groups, SYM_length, SYM_no_authorization, SYM_count, SYM_sum, SYM_max, SYM_min,
    SYM_average, SYM_key, SYM_group, SYM_total, SYM_total_count, SYM_set, SYM_inc, SYM_dmin,
    SYM_dmax, SYM_mul, SYM_rename, SYM_unset, SYM_colm, SYM_val, SYM_kkey, SYM_new,
    kPredefinedSymbols  // 53: the first number free for scripts
};
static_assert(kPredefinedSymbols == 53);

extern const char* const kPredefinedNames[kPredefinedSymbols];

// The key of a name: weighted byte sum in 24 bits, the length in the top byte.
constexpr uint32_t symbol_key(const char* s, size_t len) {
    uint32_t h = 0;
    for (size_t i = 1; i <= len; ++i)
        h = (h + static_cast<uint32_t>(i % 17) * static_cast<uint8_t>(s[i - 1])) & 0xFFFFFF;
    return static_cast<uint32_t>(len) << 24 | h;
}

uint32_t intern(const char* bytes, size_t len, uint32_t key);
uint32_t intern_counted(const char* bytes, size_t len);  // stops early at a NUL
inline uint32_t intern(std::string_view s) { return intern_counted(s.data(), s.size()); }
// -1 when the name is not interned.
int64_t symbol_lookup(const char* bytes, size_t len);

void symbols_seed();  // the 53 predefined names, in order
uint32_t symbol_count();
const char* symbol_name(uint32_t number);  // "" for a number out of range
unsigned symbol_length(uint32_t number);

}  // namespace koru
