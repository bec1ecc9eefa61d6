// Helpers the Array, keyed-array, hash and Object families share: vector
// growth, one-level copies, position arguments, the search match rule and
// the text of pair keys.
#pragma once
#include <cstdint>
#include <string>

#include "host/error_catalogue.h"
#include "runtime/cell.h"
#include "runtime/refcount.h"
#include "runtime/value.h"

namespace koru {

// Makes room for `need` elements.  The capacity becomes need + 10; large
// arrays get half their size again on top, so that a long run of pushes
// does not copy the whole vector every ten elements.
void array_reserve(Value array, uint32_t need);

// A copy one level deep of an array, keyed array or hash (a new container
// holding the same element references); any other value is itself.  The
// result is unretained.
Value copy_one_level(Value v);

// A position or count argument: an Int, else error `code`.
int32_t int_arg(Value v, err::Plain not_int);

// p < 0 counts from the end (not below 0); p past the last element gives n.
uint32_t normalise_position(int32_t p, uint32_t n);

// Numbers match across Int and Double (NaN matches nothing); strings match
// by length and bytes; nothing else matches.
bool search_matches(Value element, Value wanted);
inline bool searchable(Value v) {
    return v.kind() == Kind::Int || v.kind() == Kind::Double || v.kind() == Kind::String;
}

// A pair key (a symbol or an integer key) as the script sees it: the name
// as a new String, or the integer as a new Int.
Value key_value(Value key);
// The key's name, or its decimal text for an integer key.
std::string key_text(Value key);
inline bool is_int_key(Value key) { return key.kind() != Kind::Immediate; }

// Keeps a receiver or argument alive while script code runs (a sort
// comparator, a forEach callback), without ever destroying it at the end:
// a temporary is its caller's to drop.
class Hold {
public:
    explicit Hold(Value v) : v_(value_retain(v)) {}
    ~Hold() { value_unref(v_); }
    Hold(const Hold&) = delete;
    Hold& operator=(const Hold&) = delete;

private:
    Value v_;
};

}  // namespace koru
