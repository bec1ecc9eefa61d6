#include "db/sql.h"

#include <cstdio>

#include "compiler/expr.h"
#include "compiler/source.h"
#include "compiler/state.h"
#include "db/odbc/odbc.h"
#include "host/errors.h"
#include "runtime/objects.h"
#include "runtime/refcount.h"
#include "runtime/symbols.h"
#include "runtime/text.h"

namespace koru {

SqlStatement::~SqlStatement() {
    for (Value v : refs) value_release(v);
}

namespace {

bool is_fold_space(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool is_quote_char(char c) { return c == '\'' || c == '"' || c == '`'; }
bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Restores what a run-time compilation of marker expressions changes in the
// compiler's state.
class CompilerStateGuard {
public:
    CompilerStateGuard()
        : module_(g_compiler.module), stops_(g_compiler.suppress_stops), line_(g_compiler.line),
          line_start_(g_compiler.line_start) {}
    ~CompilerStateGuard() {
        g_compiler.module = module_;
        g_compiler.suppress_stops = stops_;
        g_compiler.line = line_;
        g_compiler.line_start = line_start_;
    }
    CompilerStateGuard(const CompilerStateGuard&) = delete;
    CompilerStateGuard& operator=(const CompilerStateGuard&) = delete;

private:
    uint8_t module_, stops_;
    uint32_t line_;
    const char* line_start_;
};

// Passes one byte of the text, counting lines for error positions.
inline void pass_byte(const char* p) {
    if (*p == '\n') {
        ++g_compiler.line;
        g_compiler.line_start = p;
    }
}

// The end of a quoted span opened at `open` (the byte after its closing
// quote); a backslash escapes the quote character.  An unclosed span runs
// to the end of the text.
const char* span_end(const char* open, const char* end) {
    char q = *open;
    const char* p = open + 1;
    for (; p < end; ++p) {
        pass_byte(p);
        if (*p == '\\' && p + 1 < end) {
            ++p;
            pass_byte(p);
            continue;
        }
        if (*p == q) return p + 1;
    }
    return end;
}

class TextBuilder {
public:
    explicit TextBuilder(std::u16string& out) : out_(out) {}
    // Appends a piece of SQL, every run of white space folded into one blank.
    void piece(const char* p, size_t n) {
        size_t i = 0;
        while (i < n) {
            if (is_fold_space(p[i])) {
                while (i < n && is_fold_space(p[i])) ++i;
                out_.push_back(u' ');
                continue;
            }
            size_t j = i;
            while (j < n && !is_fold_space(p[j])) ++j;
            append_utf8(p + i, j - i);
            i = j;
        }
    }
    void placeholder(char c, bool numbered, unsigned ordinal) {
        out_.push_back(static_cast<char16_t>(static_cast<unsigned char>(c)));
        if (numbered) {
            char digits[8];
            int n = std::snprintf(digits, sizeof digits, "%u", ordinal);
            for (int k = 0; k < n; ++k) out_.push_back(static_cast<char16_t>(digits[k]));
        }
    }

private:
    void append_utf8(const char* p, size_t n) {
        size_t at = out_.size();
        out_.resize(at + n);
        size_t units = db_utf8_to_utf16(p, n, out_.data() + at, n);
        out_.resize(at + units);
    }
    std::u16string& out_;
};

[[noreturn]] void sql_bad(const char* what) { raise_runtime(err::sql_text_detail, what); }

}  // namespace

void compile_sql(SqlStatement& st, const char* text, size_t len, char placeholder, bool numbered, SqlWord word) {
    CompilerStateGuard guard;
    // A NUL-terminated copy the expression compiler may work in.
    std::string buf(text, len);
    char* p = buf.data();
    char* end = p + buf.size();
    uint32_t line = g_errors.position & 0xFFFF;
    g_compiler.module = g_errors.module;
    g_compiler.suppress_stops = InstrCell::kNoStop;
    begin_text(p, line ? line : 1);

    while (p < end && is_fold_space(*p)) pass_byte(p++);
    char* first = p;
    while (p < end && is_name_char(*p)) ++p;
    size_t word_len = static_cast<size_t>(p - first);
    if (word_len > kMaxNameLength) compile_error(err::name_too_long);
    bool is_select = word_len == 6;
    for (size_t i = 0; is_select && i < 6; ++i)
        is_select = (first[i] | 0x20) == "select"[i];
    if (is_select != (word == SqlWord::Select)) sql_bad("関数/select");

    TextBuilder out(st.text);
    const char* piece = first;
    while (p < end) {
        char c = *p;
        if (is_quote_char(c)) {
            p = const_cast<char*>(span_end(p, end));
            continue;
        }
        if (c != ':' || (p > first && p[-1] == '\\')) {
            pass_byte(p++);
            continue;
        }
        if (p + 1 < end && p[1] == ':') {  // "::" is no marker and stays
            p += 2;
            continue;
        }
        out.piece(piece, static_cast<size_t>(p - piece));
        if (st.marker_count == kMaxMarkers) sql_bad("バインド数不正。256以上");
        char* m = p + 1;
        char next = m < end ? *m : '\0';
        if (is_digit(next)) {
            unsigned n = 0;
            while (m < end && is_digit(*m)) {
                if (n < 1000) n = n * 10 + static_cast<unsigned>(*m - '0');
                ++m;
            }
            if (n < 1 || n > 255) sql_bad("バインド番号不正。1～256でない");
            st.kinds.push_back('A');
            st.ordinals.push_back(st.positional_count++);
            st.numbers.push_back(static_cast<uint8_t>(n));
        } else if (is_name_start(next)) {
            uint32_t sym = 0;
            m = read_name(m, &sym);
            st.kinds.push_back('N');
            st.named_kinds.push_back('N');
            st.ordinals.push_back(st.named_count++);
            st.refs.push_back(Value::symbol(sym));
        } else if (next == '{') {
            char* close = find_close(m + 1, '}', '{');
            if (!close || close >= end) compile_error(err::bracket_unclosed, "}", m, excerpt(p, 120));
            Value exprs[2];
            std::string leftover;
            unsigned n = compile_bracketed(m, close, exprs, 2, &leftover);
            if (n > 0) value_retain(exprs[0]);
            if (!leftover.empty()) {
                if (n > 0) value_release(exprs[0]);
                compile_error(err::bracket_leftover, leftover.c_str(), m, excerpt(p, 120));
            }
            if (n != 1) {
                if (n > 0) value_release(exprs[0]);
                sql_bad("バインドの記述不正");
            }
            st.kinds.push_back('E');
            st.named_kinds.push_back('E');
            st.ordinals.push_back(st.named_count++);
            st.refs.push_back(exprs[0]);
            for (char* q = m; q < close; ++q) pass_byte(q);
            m = close + 1;
        } else {
            sql_bad("バインドの記述不正");
        }
        ++st.marker_count;
        out.placeholder(placeholder, numbered, st.marker_count);
        p = m;
        piece = m;
    }
    out.piece(piece, static_cast<size_t>(end - piece));
}

bool bind_value_text(Value v, std::string& out) {
    static const char* const kImmediateNames[] = {"undefined", "true", "false", "null", "NaN"};
    switch (v.kind()) {
    case Kind::Immediate:
        out = v.payload() > kNaN ? symbol_name(v.payload()) : kImmediateNames[v.payload()];
        return true;
    case Kind::Int: out = std::to_string(int_value(v)); return true;
    case Kind::Double: out.clear(); write_double(double_value(v), out); return true;
    case Kind::String: out.assign(string_text(v), string_length(v)); return true;
    default: return false;
    }
}

}  // namespace koru
