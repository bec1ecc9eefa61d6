#include "host/request.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

#include "host/errors.h"
#include "host/modules.h"
#include "interp/globals.h"
#include "runtime/objects.h"
#include "runtime/refcount.h"
#include "runtime/symbols.h"

namespace koru {


namespace {


[[noreturn]] void bad_length(err::Plain row) { raise_runtime(row); }

int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Percent-decoding.  In a name a bad escape is an error; in a value the
// "%" is kept as it is.
std::string percent_decode(std::string_view s, bool is_name) {
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%') {
            int hi = i + 1 < s.size() ? hex_digit(s[i + 1]) : -1;
            int lo = i + 2 < s.size() ? hex_digit(s[i + 2]) : -1;
            if (hi >= 0 && lo >= 0) {
                out.push_back(static_cast<char>(hi << 4 | lo));
                i += 2;
                continue;
            }
            if (is_name) raise_runtime(err::decode_character_bad);
        }
        out.push_back(s[i]);
    }
    return out;
}

// A typed field read from the body.
struct Field {
    enum Type { Text, Int, Float } type;
    std::string text;  // Text: decoded bytes
    bool plain = false;
    int32_t n = 0;
    double d = 0;
};

// Temporaries of one 'A' record: number -> object, most recent last.
struct Temporaries {
    struct Entry {
        uint32_t number;
        Value object;
    };
    std::vector<Entry> entries;
    ~Temporaries() {
        for (const Entry& e : entries) value_drop_temp(e.object);
    }
    void add(uint32_t number, Value object) {
        if (entries.size() >= 1024) {
            value_drop_temp(object);
            raise_runtime(err::request_object_overflow);
        }
        entries.push_back({number, object});
    }
    Value take(uint32_t number) {
        for (size_t i = entries.size(); i-- > 0;) {
            if (entries[i].number == number) {
                Value v = entries[i].object;
                entries.erase(entries.begin() + static_cast<ptrdiff_t>(i));
                return v;
            }
        }
        raise_runtime(err::request_temporary_name);
    }
};

class Cursor {
public:
    Cursor(const char* body, size_t len) : body_(body), len_(len) {}

    bool at_end() const { return pos_ >= len_; }
    size_t pos() const { return pos_; }
    // May move past the end, which ends the record loop.
    void jump(size_t to) { pos_ = to; }
    size_t left() const { return pos_ < len_ ? len_ - pos_ : 0; }
    // The byte at the cursor, or NUL past the end.
    char peek() const { return pos_ < len_ ? body_[pos_] : '\0'; }
    char next() {
        char ch = peek();
        ++pos_;
        return ch;
    }

    // k decimal digits; a non-digit (or the end) is `nondigit`.
    uint64_t digits(unsigned k, err::Plain nondigit) {
        uint64_t n = 0;
        for (unsigned i = 0; i < k; ++i) {
            char c = next();
            if (c < '0' || c > '9') bad_length(nondigit);
            n = n * 10 + static_cast<unsigned>(c - '0');
        }
        return n;
    }

    // count: '0'+k (k 0..13) then k digits.
    uint64_t count(err::Plain badchar = err::request_count_prefix,
                   err::Plain nondigit = err::request_count_digits) {
        char c = next();
        if (c < '0' || c > '=') bad_length(badchar);
        return digits(static_cast<unsigned>(c - '0'), nondigit);
    }

    // A count of entries that each take at least one byte of what is left.
    uint32_t entry_count() {
        uint64_t n = count();
        if (n > left()) bad_length(err::request_count_digits);
        return static_cast<uint32_t>(n);
    }

    // length (short): '0'+k or 'A'+k (k 0..9) then k digits.
    uint64_t short_length() {
        char c = peek();
        unsigned k;
        if (c >= '0' && c <= '9') k = static_cast<unsigned>(c - '0');
        else if (c >= 'A' && c <= 'J') k = static_cast<unsigned>(c - 'A');
        else raise_runtime(err::request_length_prefix, static_cast<int>(left()), body_ + std::min(pos_, len_));
        ++pos_;
        return digits(k, err::request_short_length);
    }

    // L raw bytes.
    std::string_view bytes(uint64_t len, err::Plain too_long) {
        if (len > left()) bad_length(too_long);
        std::string_view s(body_ + pos_, static_cast<size_t>(len));
        pos_ += static_cast<size_t>(len);
        return s;
    }

    // text (or name): '0'+k plain or 'A'+k percent-encoded.
    std::string text(err::Plain badchar, err::Plain nondigit, bool is_name, bool* plain = nullptr) {
        char c = next();
        bool encoded;
        unsigned k;
        if (c >= '0' && c <= '=') encoded = false, k = static_cast<unsigned>(c - '0');
        else if (c >= 'A' && c <= 'M') encoded = true, k = static_cast<unsigned>(c - 'A');
        else bad_length(badchar);
        std::string_view raw = bytes(digits(k, nondigit), nondigit);
        if (plain) *plain = !encoded;
        return encoded ? percent_decode(raw, is_name) : std::string(raw);
    }
    std::string name() { return text(err::request_name_prefix, err::request_name_length, true); }

    Field value() {
        char c = peek();
        Field f{};
        if ((c >= '0' && c <= '=') || (c >= 'A' && c <= 'M')) {
            f.type = Field::Text;
            f.text = text(err::request_value_prefix, err::request_value_length, false, &f.plain);
        } else if (c >= 'N' && c <= '`') {
            ++pos_;
            f.type = Field::Int;
            uint32_t n = 0;
            unsigned k = static_cast<unsigned>(c - 'N');
            for (unsigned i = 0; i < k; ++i) {
                char d = next();
                if (d < '0' || d > '9') bad_length(err::request_value_length);
                n = n * 10 + static_cast<uint32_t>(d - '0');  // wraps like the 32-bit cell
            }
            f.n = static_cast<int32_t>(n);
        } else if (c >= 'a' && c <= 'o') {
            ++pos_;
            f.type = Field::Float;
            uint64_t len = digits(static_cast<unsigned>(c - 'a'), err::request_value_length);
            std::string_view s = bytes(len, err::request_value_length);
            if (!read_double(s, 1023, f.d)) raise_runtime(err::request_real_bad);
        } else {
            bad_length(err::request_value_prefix);
        }
        return f;
    }

    // The whole text must be one decimal floating-point number.
    static bool read_double(std::string_view s, size_t max, double& out) {
        if (s.empty() || s.size() > max) return false;
        std::string copy(s);
        char* stop = nullptr;
        out = std::strtod(copy.c_str(), &stop);
        return stop == copy.c_str() + copy.size() && copy.find('\0') == std::string::npos;
    }

private:
    const char* body_;
    size_t len_;
    size_t pos_ = 0;
};

// "^" + any byte + six digits.
bool temporary_reference(const Field& f, uint32_t& number) {
    if (f.type != Field::Text || !f.plain || f.text.size() != 8 || f.text[0] != '^') return false;
    number = 0;
    for (size_t i = 2; i < 8; ++i) {
        if (f.text[i] < '0' || f.text[i] > '9') return false;
        number = number * 10 + static_cast<uint32_t>(f.text[i] - '0');
    }
    return true;
}

uint32_t temporary_name(const std::string& name) {
    if (name.size() != 8 || name[0] != '^' || (name[1] != 'A' && name[1] != 'H'))
        raise_runtime(err::request_object_name);
    uint32_t number = 0;
    for (size_t i = 2; i < 8; ++i) {
        if (name[i] < '0' || name[i] > '9') raise_runtime(err::request_object_name);
        number = number * 10 + static_cast<uint32_t>(name[i] - '0');
    }
    if (number == 0) raise_runtime(err::request_object_name);
    return number;
}

void before_binding() {
    if (!g_modules.loaded && g_hooks.load_modules) g_hooks.load_modules();
}

void bind(const std::string& name, Value v) {
    global_bind(intern_counted(name.data(), name.size()), v);
}

// A value field as a Value; references take their temporary.
Value field_value(const Field& f, Temporaries& temps) {
    uint32_t number;
    if (temporary_reference(f, number)) return temps.take(number);
    switch (f.type) {
    case Field::Int: return make_int(f.n);
    case Field::Float: return make_double(f.d);
    default: return make_string(f.text);
    }
}

// A pair key of a keyed array: an integer key or a name.
Value field_key(const Field& f) {
    switch (f.type) {
    case Field::Int: return Value::int_key(static_cast<uint32_t>(f.n));
    case Field::Float:
        // Only a number that has a 64-bit integer part names a key; the
        // rest (1e300, inf, nan) has no integer to take.
        if (!(f.d > -9223372036854775808.0 && f.d < 9223372036854775808.0)) raise_runtime(err::request_real_bad);
        return Value::int_key(static_cast<uint32_t>(static_cast<int64_t>(f.d)));
    default: return Value::symbol(intern_counted(f.text.data(), f.text.size()));
    }
}

// Keeps a half-built object alive only until it is bound or entered.
struct Building {
    Value v;
    ~Building() {
        if (v.bits) value_drop_temp(v);
    }
    Value release() {
        Value r = v;
        v = Value();
        return r;
    }
};

void object_entry(Cursor& c, Temporaries& temps) {
    char type = c.next();
    uint32_t n = c.entry_count();
    std::string name = c.name();
    Building obj{};
    switch (type) {
    case 'A': case 'a': {
        obj.v = make_array(n);
        for (uint32_t i = 0; i < n; ++i)
            array_elements(obj.v)[i] = value_retain(field_value(c.value(), temps));
        break;
    }
    case 'H': case 'h': {
        if (n > 0xFFFF - 10) bad_length(err::request_count_digits);
        obj.v = make_hash(n);
        for (uint32_t i = 0; i < n; ++i) {
            std::string key = c.name();
            Value k = Value::symbol(intern_counted(key.data(), key.size()));
            Value v = field_value(c.value(), temps);
            hash_pairs(obj.v)[i] = {k, value_retain(v)};
        }
        break;
    }
    case 'I': case 'i': {
        obj.v = make_keyed_array(n);
        for (uint32_t i = 0; i < n; ++i) {
            Value k = field_key(c.value());
            Value v = field_value(c.value(), temps);
            keyed_pairs(obj.v)[i] = {k, value_retain(v)};
        }
        break;
    }
    default:
        raise_runtime(err::request_object_kind);
    }
    if (type >= 'a') {
        uint32_t number = temporary_name(name);
        temps.add(number, obj.release());
    } else {
        before_binding();
        bind(name, obj.release());
    }
}

// The records that announce the byte size of their entries.
template <class Entry>
void sized_record(Cursor& c, Entry&& entry) {
    uint32_t n = c.entry_count();
    uint64_t size = c.short_length();
    size_t after = c.pos();
    for (uint32_t i = 0; i < n; ++i) entry();
    // The next record starts exactly where the announced size says.
    c.jump(size < SIZE_MAX - after ? after + static_cast<size_t>(size) : SIZE_MAX);
}

void int_entry(Cursor& c) {
    std::string name = c.name();
    char k = c.next();
    if (k < '0' || k > ':') bad_length(err::request_int_length);
    unsigned len = static_cast<unsigned>(k - '0');
    bool negative = false;
    uint32_t n = 0;
    for (unsigned i = 0; i < len; ++i) {
        char d = c.next();
        if (i == 0 && (d == '+' || d == '-')) {
            negative = d == '-';
            continue;
        }
        if (d < '0' || d > '9') bad_length(err::request_int_digit);
        n = n * 10 + static_cast<uint32_t>(d - '0');
    }
    before_binding();
    bind(name, make_int(static_cast<int32_t>(negative ? 0u - n : n)));
}

void double_entry(Cursor& c) {
    std::string name = c.name();
    std::string_view s = c.bytes(c.short_length(), err::request_short_length);
    double d;
    if (!Cursor::read_double(s, 1023, d)) raise_runtime(err::request_number_bad);
    before_binding();
    bind(name, make_double(d));
}

void string_entry(Cursor& c) {
    std::string name = c.name();
    std::string text = c.text(err::request_text_prefix, err::request_text_length, false);
    before_binding();
    bind(name, make_string(text));
}

void module_entry(Cursor& c) {
    std::string_view path = c.bytes(c.short_length(), err::request_short_length);
    if (g_modules.size() >= kMaxModules - 1)
        raise_runtime(err::request_too_many_modules);
    std::string p(path);
    size_t slash = p.rfind('/');
    size_t dot = p.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        raise_parse(err::module_name_no_extension, p.c_str());
    char j = dot + 1 < p.size() ? p[dot + 1] : '\0';
    if (j != 'j' && j != 'J') raise_parse(err::module_name_not_j, static_cast<int>(p.size()), p.c_str());
    char k = dot + 2 < p.size() ? p[dot + 2] : '\0';
    ModuleKind kind;
    if (k == 'o' || k == 'O') kind = ModuleKind::Object;
    else if (k == 's' || k == 'S') kind = ModuleKind::Source;
    else raise_parse(err::module_name_kind, static_cast<int>(p.size()), p.c_str());
    module_add(std::move(p), kind, true);
}

std::string top_text(Cursor& c, err::Plain too_long) {
    std::string t = c.text(err::request_text_prefix, err::request_text_length, false);
    if (t.size() >= 256) raise_runtime(too_long);
    return t;
}

}  // namespace


void parse_request_body(const char* body, size_t len) {
    Cursor c(body, len);
    while (!c.at_end()) {
        char letter = c.next();
        switch (letter) {
        case '\n': break;
        case 'I': sized_record(c, [&] { int_entry(c); }); break;
        case 'D': sized_record(c, [&] { double_entry(c); }); break;
        case 'S': sized_record(c, [&] { string_entry(c); }); break;
        case 'A': {
            Temporaries temps;
            sized_record(c, [&] { object_entry(c, temps); });
            break;
        }
        case 'M': sized_record(c, [&] { module_entry(c); }); break;
        case 'P':
            g_request.top_text = top_text(c, err::request_top_too_long);
            g_request.top_given = true;
            break;
        case 'E': top_text(c, err::request_eval_too_long); break;
        case 'Q':
            g_request.token_key = c.name().substr(0, 1023);
            g_request.token_text = c.text(err::request_text_prefix, err::request_text_length, false);
            g_request.token_given = true;
            break;
        case 'l': {
            std::string name = c.text(err::request_text_prefix, err::request_text_length, false);
            if (g_hooks.journal_name) g_hooks.journal_name(name);
            break;
        }
        case 'L': g_request.read_from_disk = true; break;
        case 'T': c.count(); break;
        default: raise_runtime(err::request_object_kind);
        }
    }
}

}  // namespace koru
