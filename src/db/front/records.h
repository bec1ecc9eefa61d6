// The record stream to the front end: field encodings and the host's records.
// Records follow each other with no separator; every field carries its own
// length in its header.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "runtime/hooks.h"
#include "runtime/value.h"

namespace koru {

struct FrontState {
    bool eval_mode = false;      // "-e": nothing goes to the record stream
    uint32_t a_records = 0;      // A records, nested ones included
    uint32_t h_records = 0;      // H records, nested ones included
    uint32_t s_records = 0;      // s records and alerts
    uint32_t zy_records = 0;     // Z and Y records
    uint32_t nested_ref = 500000;
    void reset() { *this = FrontState{}; }
};

// Records go to standard output, flushed after every record, unless the
// record sink of the hooks takes them (tests capture them).
void write_record(std::string_view bytes);
void write_record_text(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

// True for the bytes that travel unescaped.
bool is_safe_byte(uint8_t b);

// count: '0'+d then the d digits.
void encode_count(std::string& out, uint32_t n);
// Plain ('0'+d) or escaped ('A'+d) text field; "10" for empty text.
void encode_text_field(std::string& out, const char* text, size_t len);
inline void encode_text_field(std::string& out, std::string_view s) { encode_text_field(out, s.data(), s.size()); }
// The same into at most `capacity` bytes of escaped text; error 1585 when it
// does not fit (tested before each byte; an escape needs 4 bytes of room).
void encode_text_field_bounded(std::string& out, const char* text, size_t len, size_t capacity);
// 'N'+L then the L characters of the integer's text.
void encode_int_field(std::string& out, int32_t n);
// The same for an integer the database wrote as text: its characters as
// they came.
void encode_int_text(std::string& out, std::string_view text);
// 'a'+L then the L characters of the text.
void encode_float_text(std::string& out, std::string_view text);
// A float value: its "%g" text as a float field.
void encode_float_field(std::string& out, double d);

// The host's records.
void write_error_record(Value carried);             // S
void write_completion_record();                     // C
void write_token_record(std::string_view key, std::string_view token);  // X
void write_fatal_record(std::string_view message);  // S148555 + plain field
void write_journal_failure_record(std::string_view path);  // S149999 + plain field

}  // namespace koru

#include "host/engine.h"  // g_front: the engine owns the part declared here
