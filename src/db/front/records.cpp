#include "db/front/records.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

#include "host/errors.h"
#include "runtime/area.h"
#include "runtime/cell.h"

namespace koru {


namespace {


constexpr char kHex[] = "0123456789ABCDEF";

// The decimal digits of n, written backwards so that they end at `end`;
// returns where they begin.  (Every record has a count: formatting it by
// hand spares a trivial request the formatted-output code of the C library,
// two more pages to fault in.)
char* decimal_digits(char* end, uint64_t n) {
    do {
        *--end = static_cast<char>('0' + n % 10);
        n /= 10;
    } while (n != 0);
    return end;
}

void append_number_field(std::string& out, char base, size_t n) {
    char digits[24];
    char* end = digits + sizeof digits;
    char* first = decimal_digits(end, n);
    out.push_back(static_cast<char>(base + (end - first)));
    out.append(first, static_cast<size_t>(end - first));
}

size_t escaped_length(const char* text, size_t len) {
    size_t n = 0;
    for (size_t i = 0; i < len; ++i) n += is_safe_byte(static_cast<uint8_t>(text[i])) ? 1 : 3;
    return n;
}

void append_escaped(std::string& out, const char* text, size_t len) {
    for (size_t i = 0; i < len; ++i) {
        auto b = static_cast<uint8_t>(text[i]);
        if (is_safe_byte(b)) {
            out.push_back(static_cast<char>(b));
        } else {
            out.push_back('%');
            out.push_back(kHex[b >> 4]);
            out.push_back(kHex[b & 15]);
        }
    }
}

// The longest prefix of a text whose escaped form fits `capacity` under the
// bounded rule, cut back to a whole UTF-8 character.
size_t fitting_prefix(const char* text, size_t len, size_t capacity) {
    size_t used = 0, i = 0;
    for (; i < len; ++i) {
        bool safe = is_safe_byte(static_cast<uint8_t>(text[i]));
        if (used + (safe ? 2 : 4) > capacity) break;
        used += safe ? 1 : 3;
    }
    if (i < len)
        while (i > 0 && (static_cast<uint8_t>(text[i]) & 0xC0) == 0x80) --i;
    return i;
}

}  // namespace

void write_record(std::string_view bytes) {
    if (g_front.eval_mode) return;
    if (g_hooks.record_sink) {
        g_hooks.record_sink(bytes.data(), bytes.size());
        return;
    }
    std::fwrite(bytes.data(), 1, bytes.size(), stdout);
    std::fflush(stdout);
}

void write_record_text(const char* fmt, ...) {
    char small[512];
    va_list ap;
    va_start(ap, fmt);
    int n = std::vsnprintf(small, sizeof small, fmt, ap);
    va_end(ap);
    if (n < 0) return;
    if (static_cast<size_t>(n) < sizeof small) {
        write_record(std::string_view(small, static_cast<size_t>(n)));
        return;
    }
    std::vector<char> big(static_cast<size_t>(n) + 1);
    va_start(ap, fmt);
    std::vsnprintf(big.data(), big.size(), fmt, ap);
    va_end(ap);
    write_record(std::string_view(big.data(), static_cast<size_t>(n)));
}

bool is_safe_byte(uint8_t b) {
    if ((b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || (b >= '0' && b <= '9')) return true;
    switch (b) {
    case ';': case ',': case '/': case '?': case ':': case '@': case '&': case '=': case '+':
    case '$': case '-': case '_': case '.': case '*': case '\'': case '(': case ')': case '#':
        return true;
    default:
        return false;
    }
}

void encode_count(std::string& out, uint32_t n) { append_number_field(out, '0', n); }

void encode_text_field(std::string& out, const char* text, size_t len) {
    if (len == 0) {
        out.append("10");
        return;
    }
    size_t escaped = escaped_length(text, len);
    if (escaped == len) {
        append_number_field(out, '0', len);
        out.append(text, len);
    } else {
        append_number_field(out, 'A', escaped);
        append_escaped(out, text, len);
    }
}

void encode_text_field_bounded(std::string& out, const char* text, size_t len, size_t capacity) {
    if (fitting_prefix(text, len, capacity) < len) raise_runtime(err::encode_buffer_full);
    encode_text_field(out, text, len);
}

void encode_int_field(std::string& out, int32_t n) {
    char digits[16];
    char* end = digits + sizeof digits;
    char* first = decimal_digits(end, n < 0 ? 0 - static_cast<uint64_t>(n) : static_cast<uint64_t>(n));
    if (n < 0) *--first = '-';
    out.push_back(static_cast<char>('N' + (end - first)));
    out.append(first, static_cast<size_t>(end - first));
}

void encode_int_text(std::string& out, std::string_view text) {
    out.push_back(static_cast<char>('N' + text.size()));
    out.append(text);
}

void encode_float_text(std::string& out, std::string_view text) {
    out.push_back(static_cast<char>('a' + text.size()));
    out.append(text);
}

void encode_float_field(std::string& out, double d) {
    char text[32];
    int n = std::snprintf(text, sizeof text, "%g", d);
    encode_float_text(out, std::string_view(text, static_cast<size_t>(n)));
}

// The error record.  Code and message are escaped into at most 256 and
// 4096 bytes (16384 for a thrown string); a longer text is cut to fit, since
// the record that reports an error must not itself fail.
void write_error_record(Value carried) {
    std::string rec = "S";
    auto bounded = [&rec](const char* text, size_t len, size_t capacity) {
        encode_text_field(rec, text, fitting_prefix(text, len, capacity));
    };
    if (carried.kind() == Kind::Exception) {
        ErrorView e = error_view(carried);
        bounded(e.code, e.code_len, 256);
        bounded(e.message, e.message_len, 4096);
    } else if (carried.kind() == Kind::String) {
        const StringCell* s = cell_as<StringCell>(carried);
        rec.append("10");
        bounded(area_as<char>(s->text), s->length, 16384);
    } else {
        rec.append("1010");
    }
    write_record(rec);
}

void write_completion_record() {
    std::string rec = "C";
    encode_count(rec, g_front.a_records);
    encode_count(rec, g_front.h_records);
    encode_count(rec, g_front.s_records);
    encode_count(rec, g_front.zy_records);
    write_record(rec);
}

void write_token_record(std::string_view key, std::string_view token) {
    std::string rec = "X";
    encode_text_field(rec, key);
    encode_text_field(rec, token);
    write_record(rec);
}

namespace {
std::string plain_field_record(std::string_view head, std::string_view text) {
    std::string rec(head);
    append_number_field(rec, '0', text.size());
    rec.append(text);
    return rec;
}
}  // namespace

void write_fatal_record(std::string_view message) { write_record(plain_field_record("S148555", message)); }

void write_journal_failure_record(std::string_view path) {
    std::string msg = "open&lock of jounal file(";
    msg.append(path);
    msg.push_back(')');
    write_record(plain_field_record("S149999", msg));
}

}  // namespace koru
