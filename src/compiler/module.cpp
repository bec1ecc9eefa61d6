#include "compiler/module.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "compiler/emit.h"
#include "compiler/expr.h"
#include "compiler/keywords.h"
#include "compiler/literals.h"
#include "compiler/source.h"
#include "compiler/state.h"
#include "compiler/statements.h"
#include "host/errors.h"
#include "runtime/objects.h"
#include "runtime/refcount.h"
#include "runtime/symbols.h"

namespace koru {

namespace {


constexpr size_t kMaxPathBytes = 511;

// A quoted prefix of at most n bytes of s, for messages.
std::string first_bytes(const std::string& s, size_t n) { return s.substr(0, std::min(n, s.size())); }

}  // namespace

void compile_module(const char* path, char* text, std::vector<Value>& statements) {
    g_compiler.path = path;
    g_errors.compile_path = g_compiler.path.c_str();
    begin_text(text);
    g_errors.compile_line = 1;
    strip_comments(text);
    compile_statements(text, statements, true);
}

void load_source_module(const std::string& module_dir, const std::string& path, unsigned module,
                        std::vector<Value>& statements) {
    std::string full = module_dir.empty() ? path : module_dir + "/" + path;
    if (full.size() > kMaxPathBytes) full.resize(kMaxPathBytes);
    g_compiler.module = static_cast<uint8_t>(module);
    g_compiler.line = 1;
    g_compiler.path = path;
    g_errors.compile_path = g_compiler.path.c_str();
    int fd = ::open(full.c_str(), O_RDONLY);
    if (fd < 0) compile_error(err::module_open_failed, full.c_str());
    // Plain reads rather than a stdio stream: no stream block and buffer on
    // the heap, no size query.  A read error ends the text where it came,
    // and a directory reads as an empty text.
    std::string text;
    // A small buffer: a large frame costs a request its stack pages.
    char buf[4096];
    for (;;) {
        ssize_t got = ::read(fd, buf, sizeof buf);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        text.append(buf, static_cast<size_t>(got));
    }
    ::close(fd);
    compile_module(path.c_str(), text.data(), statements);
}

namespace {

// The built-in objects and conversions: never a request's TOP function.
bool builtin_name(uint32_t name) {
    switch (name) {
    case SYM_Math: case SYM_console: case SYM_Object: case SYM_Function: case SYM_Connection:
    case SYM_Number: case SYM_Integer: case SYM_Float: case SYM_Date: case SYM_Error:
    case SYM_RegExp: case SYM_String: case SYM_Array: case SYM_Hash: case SYM_Exception:
        return true;
    default:
        return false;
    }
}

// A literal (number, string, true, false, null, undefined) or a plain name:
// nothing that runs code when the argument is evaluated.
bool plain_argument(Value v) {
    switch (v.kind()) {
    case Kind::Immediate:
    case Kind::Int:
    case Kind::Double:
        return true;
    case Kind::String:
        return !cell_as<StringCell>(v)->is_template();
    default:
        return false;
    }
}

}  // namespace

Value parse_top_call(const std::string& text, bool from_request) {
    std::string buf = text;
    auto invalid = [&]() { compile_error(err::debug_expression_bad, first_bytes(text, 100).c_str()); };
    auto format = [&]() { compile_error(err::top_call_bad, first_bytes(text, 120).c_str()); };
    uint8_t saved_stops = g_compiler.suppress_stops;
    g_compiler.suppress_stops = InstrCell::kNoStop;  // the TOP call is never a stopping point
    struct Restore {
        uint8_t stops;
        ~Restore() { g_compiler.suppress_stops = stops; }
    } restore{saved_stops};

    begin_text(buf.data(), 0);
    strip_comments(buf.data());
    char* p = skip_space(buf.data());
    if (!is_name_start(*p)) invalid();
    const char* name_start = p;
    if (keyword(&name_start) >= 0) raise_runtime(err::top_call_keyword);
    uint32_t pos = 0;  // the TOP text has line and column 0
    uint32_t name = 0;
    p = skip_space(read_name(p, &name));
    Value args[256];
    unsigned n = 0;
    if (*p == '(') {
        char* close = find_close(p + 1, ')', '(');
        if (!close) format();
        std::string leftover;
        n = compile_bracketed(p, close, args, 256, &leftover);
        if (!leftover.empty()) format();
        p = skip_space(close + 1);
        if (*p == ';') p = skip_space(p + 1);
    }
    if (*p) {
        if (std::strchr("+-*/%=<>!&|^?:.[", *p)) {
            compile_error(err::top_call_operator, first_bytes(text, 120).c_str());
        }
        invalid();
    }
    if (from_request) {
        if (builtin_name(name)) invalid();
        for (unsigned i = 0; i < n; ++i)
            if (!plain_argument(args[i])) invalid();
    }
    return make_instruction(Op::OP_CALL, Value::symbol(name), Value(make_argument_record(n, args).bits), pos);
}

NameValue parse_name_value(const std::string& text) {
    std::string buf = text;
    auto bad = [&]() { compile_error(err::hash_literal_bad, first_bytes(text, 120).c_str()); };
    begin_text(buf.data(), 0);
    strip_comments(buf.data());
    char* p = skip_space(buf.data());
    uint32_t name = 0;
    if (*p == '"' || *p == '\'') {
        Value s;
        try {
            p = compile_string(p + 1, *p, &s);
        } catch (const Unwind&) {
            bad();
        }
        if (string_length(s) == 0 || string_length(s) > kMaxNameLength) bad();
        name = intern_counted(string_text(s), string_length(s));
        value_drop_temp(s);
    } else if (is_name_start(*p)) {
        p = read_name(p, &name);
    } else {
        bad();
    }
    p = skip_space(p);
    if (*p != ':') bad();
    Value values[kMaxValues + 1];
    unsigned n = 0;
    // Whatever is wrong with the value, the definition as a whole is refused.
    try {
        p = compile_value(p + 1, values, &n);
    } catch (const Unwind&) {
        bad();
    }
    if (n != 1 || *skip_space(p)) bad();
    // Only literal values: no names and no instructions to evaluate.
    Value v = values[0];
    if (v.kind() == Kind::Instruction || v.is_symbol()) bad();
    return {name, v};
}

}  // namespace koru
