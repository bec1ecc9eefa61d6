// Reference counting in the header byte, truthiness and destruction.
#pragma once
#include "runtime/area.h"
#include "runtime/value.h"

namespace koru {

// The header byte of the object a cell or area value refers to.
inline uint8_t* header_ptr(Value v) {
    return is_area_kind(v.kind()) ? static_cast<uint8_t*>(area_ptr(v.area_addr()))
                                  : reinterpret_cast<uint8_t*>(cell_of(v));
}

// No object behind the word: an immediate, an IntKey, kind 4, or a foreign word.
inline bool has_object(Value v) {
    Kind k = v.kind();
    return k != Kind::Immediate && k != Kind::IntKey && k != Kind::None4 && v.bits <= 0xFEFFFFFF;
}

// The count before the increment (header & 0xF0), or 0 where there is no object.
unsigned value_retain_count(Value v);

void value_destroy(Value v);

// A RegExp, a template string and an instruction tell the hooks of their
// end (runtime/hooks.h: regex_free, template_freed, instruction_freed).

// Kinds whose objects are cells: their header is found without the area
// tables.  Values whose top nibble is set are left to the general test.
constexpr uint32_t kCellKindMask = 0x7F24;  // 2, 5, 8-14
[[gnu::always_inline]] inline bool is_plain_cell_value(Value v) {
    uint32_t k = v.bits >> 24;
    return k < 16 && ((kCellKindMask >> k) & 1);
}

// Destroys a cell whose count reached 0: numbers, the most frequent
// temporaries, only give their cell back.
[[gnu::noinline]] void destroy_cell(Value v);

// value_retain and value_release for everything but cells and immediates.
[[gnu::noinline]] void retain_other(Value v);
[[gnu::noinline]] void release_other(Value v);

[[gnu::always_inline]] inline Value value_retain(Value v) {
    if (is_plain_cell_value(v)) {
        uint8_t& h = cell_of(v)->header;
        if (h < kSaturatedCount) h = static_cast<uint8_t>(h + 16);
    } else if (v.bits >> 24 != 0) {
        retain_other(v);
    }
    return v;
}

[[gnu::always_inline]] inline void value_release(Value v) {
    if (is_plain_cell_value(v)) {
        uint8_t& h = cell_of(v)->header;
        if (h >= kSaturatedCount) return;
        if (h >= 16) {
            h = static_cast<uint8_t>(h - 16);
            if (h >= 16) return;
        }
        destroy_cell(v);
    } else if (v.bits >> 24 != 0) {
        release_other(v);
    }
}

// The header of the object behind any word, or null where there is none.
[[gnu::noinline]] uint8_t* header_of_other(Value v);
inline uint8_t* object_header(Value v) {
    if (is_plain_cell_value(v)) return &cell_of(v)->header;
    return v.bits >> 24 != 0 ? header_of_other(v) : nullptr;
}

// A counted object that someone else owns (count 1..14): a temporary
// (count 0), a permanent object and a word without an object are not.
inline bool is_borrowed(Value v) {
    uint8_t h;
    if (is_plain_cell_value(v)) h = cell_of(v)->header;
    else if (has_object(v)) h = *header_ptr(v);
    else return false;
    return h >= 16 && h < kSaturatedCount;
}

// Lowers the count (1..14) without ever destroying; returns ((old & 0xF0) + 16) & 0xFF.
unsigned value_unref(Value v);
// value_unref for a caller that needs no result: a plain cell inline.
inline void value_lower(Value v) {
    if (is_plain_cell_value(v)) {
        uint8_t& h = cell_of(v)->header;
        if (h >= 16 && h < kSaturatedCount) h = static_cast<uint8_t>(h - 16);
    } else if (v.bits >> 24 != 0) {
        value_unref(v);
    }
}

// value_drop_temp for everything but cells and immediates.
[[gnu::noinline]] void drop_temp_other(Value v);

[[gnu::always_inline]] inline void value_drop_temp(Value v) {
    if (is_plain_cell_value(v)) {
        if ((cell_of(v)->header & 0xF0) == 0) destroy_cell(v);
    } else if (v.bits >> 24 != 0) {
        drop_temp_other(v);
    }
}

bool value_truthy_of_object(Value v);
// Conditions are mostly the booleans of comparisons: those answer inline.
inline bool value_truthy(Value v) {
    if (v.bits == kTrue) return true;
    if (v.bits == kFalse) return false;
    return value_truthy_of_object(v);
}

}  // namespace koru
