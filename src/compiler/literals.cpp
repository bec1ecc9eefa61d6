#include "compiler/literals.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "compiler/emit.h"
#include "compiler/expr.h"
#include "compiler/source.h"
#include "compiler/state.h"
#include "runtime/objects.h"
#include "runtime/hooks.h"
#include "runtime/refcount.h"
#include "runtime/symbols.h"

namespace koru {

namespace {

constexpr int16_t kTemplateFlag = static_cast<int16_t>(0x8000);
constexpr unsigned kMaxHashPairs = 65000;  // the pair count is a 16-bit field

Value string_cell(const std::string& text, bool is_template) {
    Value v = make_string(text.data(), text.size());
    cell_as<StringCell>(v)->template_flag = is_template ? kTemplateFlag : 0;
    return v;
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_hex(char c) { return is_digit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

[[noreturn]] void bad_number(const char* p) { compile_error(err::number_literal_bad, excerpt(p, 120)); }

// An integer value as a cell: Int below 2^31 in magnitude, else Double (a
// 32-bit cell cannot hold it).
Value integer_cell(double magnitude, int sign) {
    if (magnitude >= 2147483648.0) return make_double(sign * magnitude);
    return make_int(static_cast<int32_t>(sign * magnitude));
}

}  // namespace

char* compile_string(char* p, char quote, Value* out) {
    const char* start = p - 1;
    std::string text;
    text.reserve(64);
    for (;;) {
        char c = *p;
        if (c == '\0') compile_error(err::string_unterminated);
        if (c == quote) break;
        if (c == '\\') {
            char next = p[1];
            if (next == '\0') compile_error(err::string_unterminated);
            if (quote == '`') {
                // Templates keep their escapes for the run-time expansion,
                // except an escaped backquote.
                if (next != '`') text.push_back('\\');
                if (next == '\n') {
                    ++g_compiler.line;
                    g_compiler.line_start = p + 1;
                }
                text.push_back(next);
            } else {
                text.push_back(next == 'n' ? '\n' : next == 'r' ? '\r' : next == 't' ? '\t' : next);
                if (next == '\n') {
                    ++g_compiler.line;
                    g_compiler.line_start = p + 1;
                }
            }
            p += 2;
            continue;
        }
        if (c == '\n') {
            ++g_compiler.line;
            g_compiler.line_start = p;
        }
        if (c != '\r') text.push_back(c);
        ++p;
    }
    (void)start;
    *out = string_cell(text, quote == '`');
    return p + 1;
}

char* compile_number(char* p, Value* out, int sign) {
    const char* start = p;
    if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) {
        char* q = p + 2;
        double magnitude = 0;
        while (is_hex(*q)) {
            int d = is_digit(*q) ? *q - '0' : (*q | 0x20) - 'a' + 10;
            magnitude = magnitude * 16 + d;
            ++q;
        }
        if (q == p + 2 || is_name_char(*q)) bad_number(start);
        *out = integer_cell(magnitude, sign);
        return q;
    }
    char* q = p;
    while (is_digit(*q)) ++q;
    bool is_double = false;
    if (*q == '.' && is_digit(q[1])) {
        is_double = true;
        ++q;
        while (is_digit(*q)) ++q;
    } else if (*q == '.' && q > p && !is_name_start(q[1])) {
        is_double = true;  // "5." is a number; "5.x" is a member access
        ++q;
    }
    if (q == p) bad_number(start);
    if (*q == '.' && is_digit(q[1])) bad_number(start);  // 1.2.3
    if (*q == 'e' || *q == 'E') {
        char* e = q + 1;
        if (*e == '+' || *e == '-') ++e;
        if (!is_digit(*e)) bad_number(start);
        while (is_digit(*e)) ++e;
        q = e;
        is_double = true;
    }
    if (is_name_char(*q)) bad_number(start);
    std::string digits(p, q);
    double magnitude = std::strtod(digits.c_str(), nullptr);
    *out = is_double ? make_double(sign * magnitude) : integer_cell(magnitude, sign);
    return q;
}

char* compile_array(char* p, Value* out) {
    const char* start = p - 1;
    char* close = find_close(p, ']', '[');
    if (!close) compile_error(err::array_literal_bad, excerpt(start, 120));
    *close = '\0';
    std::vector<Value> elements;
    elements.reserve(16);
    char* q = skip_space(p);
    while (*q) {
        Value values[kMaxValues + 1];
        unsigned n = 0;
        const char* item = q;
        q = compile_value(q, values, &n);
        if (n != 1) compile_error(err::array_literal_bad, excerpt(item, 120));
        elements.push_back(values[0]);
        q = skip_space(q);
    }
    *close = ']';
    Value array = make_array(static_cast<uint32_t>(elements.size()));
    Value* slots = array_elements(array);
    for (size_t i = 0; i < elements.size(); ++i) slots[i] = value_retain(elements[i]);
    *out = array;
    return close + 1;
}

namespace {

// The key of an object member: a string literal's text or a bare name.
char* object_key(char* p, uint32_t* key) {
    if (*p == '"' || *p == '\'' || *p == '`') {
        Value s;
        char* after = compile_string(p + 1, *p, &s);
        if (string_length(s) > 255) compile_error(err::hash_literal_bad, excerpt(p, 120));
        *key = intern_counted(string_text(s), string_length(s));
        value_drop_temp(s);
        return after;
    }
    if (!is_name_start(*p)) compile_error(err::hash_literal_bad, excerpt(p, 120));
    return read_name(p, key);
}

}  // namespace

char* compile_object(char* p, Value* out) {
    const char* start = p - 1;
    char* close = find_close(p, '}', '{');
    if (!close) compile_error(err::hash_literal_unclosed, excerpt(start, 120));
    *close = '\0';
    std::vector<Pair> pairs;
    pairs.reserve(16);
    char* q = skip_space(p);
    while (*q) {
        const char* member = q;
        uint32_t key = 0;
        q = skip_space(object_key(q, &key));
        if (*q != ':') compile_error(err::hash_literal_bad, excerpt(member, 120));
        Value values[kMaxValues + 1];
        unsigned n = 0;
        q = compile_value(q + 1, values, &n);
        if (n != 1) compile_error(err::hash_literal_bad, excerpt(member, 120));
        if (pairs.size() >= kMaxHashPairs) compile_error(err::hash_literal_bad, excerpt(member, 120));
        pairs.push_back(Pair{Value::symbol(key), values[0]});
        q = skip_space(q);
    }
    *close = '}';
    Value hash = make_hash(static_cast<uint32_t>(pairs.size()));
    Pair* slots = hash_pairs(hash);
    for (size_t i = 0; i < pairs.size(); ++i) slots[i] = Pair{pairs[i].key, value_retain(pairs[i].value)};
    *out = hash;
    return close + 1;
}

char* compile_regex_literal(char* p, Value* out, uint32_t position) {
    char* end = p;
    while (*end && !(*end == '/' && (end == p || end[-1] != '\\'))) {
        if (*end == '\n') break;  // a pattern never spans lines
        ++end;
    }
    if (*end != '/') compile_error(err::pattern_literal_unclosed);
    char* flags = end + 1;
    char* after = flags;
    while ((*after >= 'a' && *after <= 'z') || (*after >= 'A' && *after <= 'Z')) ++after;
    std::string pattern(p, end), flag_text(flags, after);
    if (g_hooks.regex_literal) {
        *out = g_hooks.regex_literal(pattern.c_str(), flag_text.c_str());
    } else {
        Value texts[2] = {string_cell(pattern, false), string_cell(flag_text, false)};
        *out = make_instruction(Op::OP_REGEXP, 2, texts, position);
    }
    return after;
}

}  // namespace koru
