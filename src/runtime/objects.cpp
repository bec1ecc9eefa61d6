#include "runtime/objects.h"

#include <algorithm>
#include <cstring>

#include "host/errors.h"
#include "runtime/refcount.h"
#include "runtime/side_tables.h"
#include "runtime/string_append.h"

namespace koru {

Value make_int(int32_t n) {
    NewCell c = cell_alloc(Kind::Int);
    reinterpret_cast<IntCell*>(c.cell)->value = n;
    return c.value;
}

Value make_double(double d) {
    NewCell c = cell_alloc(Kind::Double);
    reinterpret_cast<DoubleCell*>(c.cell)->value = d;
    return c.value;
}

namespace {
// A String cell over a new text block of len bytes (and a terminating 0),
// which the caller fills.
Value new_string(size_t len, char*& text) {
    if (len > 0x7FFFFFF0) raise_runtime(err::out_of_memory);
    AreaBlock b = area_alloc(len + 12);
    text = static_cast<char*>(b.ptr);
    text[len] = '\0';
    NewCell c = cell_alloc(Kind::String);
    auto* s = reinterpret_cast<StringCell*>(c.cell);
    s->text = b.addr;
    s->capacity = static_cast<uint32_t>(len + 8);
    s->length = static_cast<uint32_t>(len);
    return c.value;
}
}  // namespace

Value make_string(const char* text, size_t len) {
    char* to;
    Value v = new_string(len, to);
    if (len) std::memcpy(to, text, len);
    return v;
}

Value make_string_to_fill(size_t len, char*& text) { return new_string(len, text); }

Value make_string_joined(std::string_view a, std::string_view b) {
    char* to;
    Value v = new_string(a.size() + b.size(), to);
    if (!a.empty()) std::memcpy(to, a.data(), a.size());
    if (!b.empty()) std::memcpy(to + a.size(), b.data(), b.size());
    return v;
}

namespace {
AreaAddr zeroed_vector(size_t bytes) {
    AreaBlock b = area_alloc(bytes);
    std::memset(b.ptr, 0, bytes);
    return b.addr;
}
}  // namespace

Value make_array(uint32_t count) {
    AreaAddr vec = zeroed_vector((static_cast<size_t>(count) + 10) * 4);
    NewCell c = cell_alloc(Kind::Array);
    auto* a = reinterpret_cast<ArrayCell*>(c.cell);
    a->elements = vec;
    a->count = count;
    a->capacity = count + 10;
    return c.value;
}

Value make_keyed_array(uint32_t count) {
    AreaAddr vec = zeroed_vector((static_cast<size_t>(count) + 10) * 8);
    NewCell c = cell_alloc(Kind::KeyedArray);
    auto* a = reinterpret_cast<KeyedArrayCell*>(c.cell);
    a->pairs = vec;
    a->count = count;
    a->capacity = count + 10;
    return c.value;
}

Value make_hash(uint32_t count, uint32_t class_symbol) {
    if (count > 0xFFFF - 10) raise_runtime(err::out_of_memory);
    AreaAddr vec = zeroed_vector((static_cast<size_t>(count) + 10) * 8);
    NewCell c = cell_alloc(Kind::Hash);
    hash_index_forget(c.value);
    auto* h = reinterpret_cast<HashCell*>(c.cell);
    h->pairs = vec;
    h->count = static_cast<uint16_t>(count);
    h->capacity = static_cast<uint16_t>(count + 10);
    h->class_symbol = class_symbol;
    return c.value;
}

void keyed_set_capacity(Value keyed, uint32_t capacity) {
    KeyedArrayCell* k = cell_as<KeyedArrayCell>(keyed);
    size_t bytes = static_cast<size_t>(capacity) * sizeof(Pair);
    AreaBlock b = area_alloc(bytes);
    std::memset(b.ptr, 0, bytes);
    std::memcpy(b.ptr, area_ptr(k->pairs), static_cast<size_t>(k->count) * sizeof(Pair));
    area_free(k->pairs);
    k->pairs = b.addr;
    k->capacity = capacity;
}

void array_push(Value array, Value element, uint32_t step) {
    ArrayCell* a = cell_as<ArrayCell>(array);
    if (a->count >= a->capacity) {
        uint32_t cap = a->capacity + step;
        AreaBlock b = area_alloc(static_cast<size_t>(cap) * 4);
        std::memcpy(b.ptr, area_ptr(a->elements), static_cast<size_t>(a->count) * 4);
        area_free(a->elements);
        a->elements = b.addr;
        a->capacity = cap;
    }
    area_as<Value>(a->elements)[a->count++] = value_retain(element);
}

// ---- appending in place ---------------------------------------------------------------

// A String's block holds `capacity` + 4 bytes (a fresh String: length + 12),
// so a text of up to `capacity` bytes and its NUL always fit.
void string_append(Value str, std::string_view tail) {
    StringCell* s = cell_as<StringCell>(str);
    size_t len = s->length, grown = len + tail.size();
    if (grown > 0x7FFFFFF0) raise_runtime(err::out_of_memory);
    text_index_forget(str);
    if (grown > s->capacity) {
        size_t cap = std::max(grown, std::min<size_t>(2 * len, 0x7FFFFFF0)) + 8;
        AreaBlock b = area_alloc(cap + 4);
        std::memcpy(b.ptr, area_ptr(s->text), len);
        area_free(s->text);
        s = cell_as<StringCell>(str);
        s->text = b.addr;
        s->capacity = static_cast<uint32_t>(cap);
    }
    char* text = area_as<char>(s->text);
    std::memcpy(text + len, tail.data(), tail.size());
    text[grown] = '\0';
    s->length = static_cast<uint32_t>(grown);
}

}  // namespace koru
