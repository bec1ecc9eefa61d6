#include "compiler/statements.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "compiler/emit.h"
#include "compiler/expr.h"
#include "compiler/keywords.h"
#include "compiler/source.h"
#include "compiler/state.h"
#include "runtime/cell.h"
#include "runtime/refcount.h"
#include "runtime/symbols.h"

namespace koru {

namespace {

constexpr unsigned kMaxCaseLabels = 1022;

// Statements inside statements are compiled by recursion, one level of the
// machine stack each: the depth is bounded, far beyond what real code nests,
// so that no text runs the compiler out of stack.
constexpr unsigned kMaxStatementNesting = 1000;

// Whether the text at p is `word` not followed by a name character.
bool at_word(const char* p, const char* word) {
    size_t len = std::strlen(word);
    return std::strncmp(p, word, len) == 0 && !is_name_char(p[len]);
}

bool is_name_value(Value v) { return v.kind() == Kind::Immediate; }

bool is_instr(Value v, Op o) {
    return v.kind() == Kind::Instruction && cell_as<InstrCell>(v)->opcode == op_byte(o);
}

// The name a declaration item declares: a bare name, or the target of an
// assignment; false for anything else.
bool declared_name(Value item, uint32_t* name) {
    if (is_name_value(item)) {
        *name = item.payload();
        return true;
    }
    if (!is_instr(item, Op::OP_ASSIGN)) return false;
    Value target(instr_operands(item)[0]);
    if (!is_name_value(target)) return false;
    *name = target.payload();
    return true;
}

bool contains(const std::vector<uint32_t>& list, size_t from, uint32_t name) {
    for (size_t i = from; i < list.size(); ++i)
        if ((list[i] & 0x0FFFFFFF) == (name & 0x0FFFFFFF)) return true;
    return false;
}

// Whether a name is among the globals: by the symbol's mark, with the list
// searched only for numbers past what the marks cover.
constexpr uint32_t kMarkedSymbols = 1u << 22;

bool is_global_name(uint32_t name) {
    const CompilerState& c = g_compiler;
    uint32_t sym = name & 0x0FFFFFFF;
    if (sym >= kMarkedSymbols) return contains(c.globals, 0, name);
    return sym < c.global_by_symbol.size() && c.global_by_symbol[sym];
}

void add_global_name(uint32_t name) {
    CompilerState& c = g_compiler;
    uint32_t sym = name & 0x0FFFFFFF;
    if (sym < kMarkedSymbols) {
        if (sym >= c.global_by_symbol.size()) c.global_by_symbol.resize(std::max<size_t>(sym + 1, c.global_by_symbol.size() * 2));
        c.global_by_symbol[sym] = true;
    }
    c.globals.push_back(name);
}

// A `var` name joins the current function's locals, or the globals at top level.
void declare_var(uint32_t name) {
    CompilerState& c = g_compiler;
    if (c.in_function) {
        if (!contains(c.locals, c.local_base, name)) c.locals.push_back(name);
    } else if (!is_global_name(name)) {
        add_global_name(name);
    }
}

// A let/const region: blocks and `for` statements open one.
struct Region {
    size_t saved_base;
    Region() : saved_base(g_compiler.block_base) {
        g_compiler.block_base = g_compiler.block_names.size();
        ++g_compiler.block_depth;
    }
    ~Region() {
        g_compiler.block_names.resize(std::min(g_compiler.block_names.size(), g_compiler.block_base));
        g_compiler.block_base = saved_base;
        --g_compiler.block_depth;
    }
};

// `(` ... `)` holding exactly one expression; null when malformed.
char* one_condition(char* p, unsigned capacity, Value* out) {
    p = skip_space(p);
    if (*p != '(') return nullptr;
    char* close = find_close(p + 1, ')', '(');
    if (!close) return nullptr;
    Value items[256];
    std::string leftover;
    unsigned n = compile_bracketed(p, close, items, capacity, &leftover);
    if (n != 1 || !leftover.empty()) return nullptr;
    *out = items[0];
    return close + 1;
}

// ---- control statements ------------------------------------------------------

char* st_break(char* text, Value* out, const char* start, uint32_t pos) {
    char* p = skip_space(text);
    if (*p != ';') compile_error(err::break_statement_bad, excerpt(start, 100));
    *out = make_instruction(Op::OP_BREAK, pos);
    return p;
}

char* st_continue(char* text, Value* out, const char* start, uint32_t pos) {
    char* p = skip_space(text);
    if (*p != ';') compile_error(err::continue_statement_bad, excerpt(start, 100));
    *out = make_instruction(Op::OP_CONTINUE, pos);
    return p;
}

char* st_return(char* text, Value* out, const char* start, uint32_t pos) {
    Value items[8];
    unsigned n = 0;
    char* p = compile_list_at(text, items, 8, &n);
    if (n > 1) compile_error(err::return_statement_bad, excerpt(start, 100));
    *out = n == 0 ? make_instruction(Op::OP_RETURN, pos) : make_instruction(Op::OP_RETURN, items[0], pos);
    return p;
}

char* st_throw(char* text, Value* out, const char* start, uint32_t pos) {
    Value items[4];
    unsigned n = 0;
    char* p = compile_list_at(text, items, 4, &n);
    if (n != 1) compile_error(err::throw_statement_bad, excerpt(start, 100));
    *out = make_instruction(Op::OP_THROW, items[0], pos);
    return p;
}

char* st_if(char* text, Value* out, const char* start, uint32_t pos) {
    Value ops[3];
    char* p = one_condition(text, 10, &ops[0]);
    if (!p) compile_error(err::if_statement_bad, excerpt(start, 120));
    p = compile_statement(p, &ops[1]);
    char* q = skip_space(p);
    size_t count = 2;
    p = q;
    if (at_word(q, "else")) {
        p = compile_statement(q + 4, &ops[2]);
        count = 3;
    }
    *out = make_instruction(Op::OP_IF, count, ops, pos);
    return p;
}

char* st_while(char* text, Value* out, const char* start, uint32_t pos) {
    Value cond, body;
    char* p = one_condition(text, 8, &cond);
    if (!p) compile_error(err::while_statement_bad, excerpt(start, 120));
    p = compile_statement(p, &body);
    *out = make_instruction(Op::OP_WHILE, cond, body, pos);
    return p;
}

char* st_do(char* text, Value* out, const char* start, uint32_t pos) {
    Value body, cond;
    char* p = skip_space(compile_statement(text, &body));
    if (!at_word(p, "while")) compile_error(err::do_statement_bad, "", excerpt(start, 120));
    p = one_condition(p + 5, 4, &cond);
    if (!p) compile_error(err::do_statement_bad, "... while", excerpt(start, 120));
    *out = make_instruction(Op::OP_DO_WHILE, body, cond, pos);
    return p;
}

// ---- declarations --------------------------------------------------------------

char* st_var(char* text, Value* out, const char* start, uint32_t pos) {
    Value items[256];
    unsigned n = 0;
    char* p = compile_list_at(text, items, 256, &n);
    if (n == 0) compile_error(err::var_declaration_bad, excerpt(start, 120));
    for (unsigned i = 0; i < n; ++i) {
        uint32_t name = 0;
        if (!declared_name(items[i], &name)) compile_error(err::var_declaration_bad, excerpt(start, 120));
        declare_var(name);
    }
    *out = make_instruction(Op::OP_VAR, n, items, pos);
    return p;
}

char* let_or_const(char* text, Value* out, const char* start, uint32_t pos, bool is_const) {
    const char* kw = is_const ? "const" : "let";
    Value items[256];
    unsigned n = 0;
    char* p = compile_list_at(text, items, 256, &n);
    if (n == 0) compile_error(err::block_declaration_bad, kw, excerpt(start, 120));
    CompilerState& c = g_compiler;
    for (unsigned i = 0; i < n; ++i) {
        uint32_t name = 0;
        if (!declared_name(items[i], &name))
            compile_error(err::block_declaration_bad, kw, excerpt(start, 120));
        bool duplicate = c.block_depth > 0
                             ? contains(c.block_names, c.block_base, name)
                             : (c.in_function && contains(c.locals, c.local_base, name)) || is_global_name(name);
        if (duplicate) compile_error(err::block_declaration_duplicate, kw, excerpt(start, 120));
        c.block_names.push_back(name);
    }
    *out = make_instruction(is_const ? Op::OP_CONST : Op::OP_LET, n, items, pos);
    return p;
}

char* st_let(char* text, Value* out, const char* start, uint32_t pos) {
    return let_or_const(text, out, start, pos, false);
}
char* st_const(char* text, Value* out, const char* start, uint32_t pos) {
    return let_or_const(text, out, start, pos, true);
}

// ---- for ---------------------------------------------------------------------------

[[noreturn]] void bad_for(const std::string& where) { compile_error(err::for_statement_bad, where.c_str()); }

// The parts block and the counts word of `for (init; condition; update)`.
// Kept out of st_for, so that its lists are off the stack while the body
// (which may hold further statements) compiles.
[[gnu::noinline]] void for_header(char* inner, char* close, const std::string& start, Value* header_ops) {
    Value init[256], cond[256], update[256];
    unsigned ni = 0, nc = 0, nu = 0;
    char* q = compile_list_at(inner, init, 256, &ni);
    if (*q != ';') bad_for(start);
    q = compile_list_at(q + 1, cond, 256, &nc);
    if (nc != 1) bad_for(start);
    if (*q == ';') q = compile_list_at(q + 1, update, 256, &nu);
    if (*skip_space(q)) bad_for(start);
    *close = ')';
    std::vector<uint32_t> parts;
    for (unsigned i = 0; i < ni; ++i) parts.push_back(init[i].bits);
    parts.push_back(cond[0].bits);
    for (unsigned i = 0; i < nu; ++i) parts.push_back(update[i].bits);
    header_ops[0] = Value(make_word_block(parts.size(), parts.data(), true).bits);
    header_ops[1] = Value(nu + (ni << 16));
}

char* st_for(char* text, Value* out, const char* start_text, uint32_t pos) {
    // Taken before brackets are bounded by a NUL, so messages show the whole line.
    const std::string start = excerpt(start_text, 120);
    char* p = skip_space(text);
    if (*p != '(') bad_for(start);
    char* close = find_close(p + 1, ')', '(');
    if (!close) bad_for(start);
    Region region;
    *close = '\0';
    char* inner = p + 1;
    char* after = close + 1;
    if (find_unquoted(inner, ';')) {
        Value header_ops[3];
        for_header(inner, close, start, header_ops);
        after = compile_statement(after, &header_ops[2]);
        *out = make_instruction(Op::OP_FOR, 3, header_ops, pos);
        return after;
    }
    // for ( [var|let|const] name of|in expression )
    char* q = skip_space(inner);
    uint32_t kind = 0;  // 0 none or let, 1 const, 2 var
    bool block_scoped = false;
    if (at_word(q, "var")) {
        kind = 2;
        q += 3;
    } else if (at_word(q, "let")) {
        block_scoped = true;
        q += 3;
    } else if (at_word(q, "const")) {
        block_scoped = true;
        kind = 1;
        q += 5;
    }
    q = skip_space(q);
    if (!is_name_start(*q)) bad_for(start);
    uint32_t name = 0;
    q = skip_space(read_name(q, &name));
    Op code;
    if (at_word(q, "of")) {
        code = Op::OP_FOR_OF;
    } else if (at_word(q, "in")) {
        code = Op::OP_FOR_IN;
    } else {
        bad_for(start);
    }
    Value items[4];
    unsigned n = 0;
    q = compile_list(q + 2, items, 4, &n);
    if (n != 1 || *skip_space(q)) bad_for(start);
    *close = ')';
    if (kind == 2) declare_var(name);
    if (block_scoped) g_compiler.block_names.push_back(name);
    Value ops[4] = {Value::symbol(name), items[0], Value{}, Value(kind)};
    after = compile_statement(after, &ops[2]);
    *out = make_instruction(code, 4, ops, pos);
    return after;
}

// ---- try ---------------------------------------------------------------------------

[[noreturn]] void bad_try(bool read_block, const char* expected, const char* rest) {
    std::string tail = excerpt(rest, 120);
    compile_error(err::try_statement_bad, "try", read_block ? " ... " : "", expected, tail.c_str());
}

char* st_try(char* text, Value* out, const char*, uint32_t pos) {
    char* p = skip_space(text);
    if (*p != '{') bad_try(false, "", p);
    Value try_block{}, finally_block{};
    uint32_t end_line = 0;
    p = skip_space(compile_block(p, &try_block, &end_line));
    AreaAddr catch_part{};
    bool has_catch = false, has_finally = false;
    if (at_word(p, "catch")) {
        char* q = skip_space(p + 5);
        if (*q != '(') bad_try(true, "catch", p);
        char* close = find_close(q + 1, ')', '(');
        if (!close) compile_error(err::bracket_unclosed, ")", q, excerpt(p, 120));
        Value items[18];
        std::string leftover;
        unsigned n = compile_bracketed(q, close, items, 18, &leftover);
        if (!leftover.empty()) {
                compile_error(err::bracket_leftover, leftover.c_str(), q, excerpt(p, 120));
        }
        if (n != 1 || !items[0].is_symbol()) bad_try(true, "catch", p);
        q = skip_space(close + 1);
        if (*q != '{') bad_try(true, "catch", p);
        Value catch_block{};
        q = skip_space(compile_block(q, &catch_block, &end_line));
        uint32_t record[3] = {items[0].bits, catch_block.bits, 0};
        catch_part = make_word_block(3, record, true);
        has_catch = true;
        p = q;
    }
    if (at_word(p, "finally")) {
        char* q = skip_space(p + 7);
        if (*q != '{') bad_try(true, "finally", p);
        p = compile_block(q, &finally_block, &end_line);
        has_finally = true;
    }
    if (!has_catch && !has_finally) bad_try(true, "catch", p);
    Value ops[3] = {try_block, Value(catch_part.bits), finally_block};
    *out = make_instruction(Op::OP_TRY, has_finally ? 3 : 2, ops, pos);
    return p;
}

// ---- switch ------------------------------------------------------------------------

char* st_switch(char* text, Value* out, const char* start_text, uint32_t pos) {
    const std::string where = excerpt(start_text, 120);
    auto bad = [&]() { compile_error(err::switch_head_bad, "switch", where.c_str()); };
    Value discriminant{};
    char* p = one_condition(text, 128, &discriminant);
    if (!p) bad();
    p = skip_space(p);
    if (*p != '{') bad();
    char* close = find_close(p + 1, '}', '{');
    if (!close) bad();
    *close = '\0';
    std::vector<uint32_t> table = {0, 0, 0, 0};  // pairs 0 and 1
    std::vector<uint32_t> statements;
    bool has_default = false;
    char* q = skip_space(p + 1);
    if (!at_word(q, "case")) compile_error(err::switch_body_bad, where.c_str());
    unsigned labels = 0;
    for (;;) {
        q = skip_space(q);
        if (!*q) break;
        if (labels >= kMaxCaseLabels) compile_error(err::switch_too_many_cases, where.c_str());
        if (at_word(q, "case")) {
            char* colon = find_unquoted(q + 4, ':');
            if (!colon) bad();
            *colon = '\0';
            Value items[128];
            unsigned n = 0;
            char* rest = compile_list(q + 4, items, 128, &n);
            *colon = ':';
            if (n != 1 || rest != colon) bad();
            table.push_back(items[0].bits);
            table.push_back(static_cast<uint32_t>(statements.size()));
            ++labels;
            q = colon + 1;
            continue;
        }
        if (at_word(q, "default") && *skip_space(q + 7) == ':') {
            table[3] = static_cast<uint32_t>(statements.size());
            has_default = true;
            q = skip_space(q + 7) + 1;
            continue;
        }
        Value items[128];
        unsigned n = 0;
        q = compile_list(q, items, 128, &n);
        for (unsigned i = 0; i < n; ++i) statements.push_back(items[i].bits);
    }
    *close = '}';
    if (statements.empty()) compile_error(err::switch_body_bad, where.c_str());
    table[0] = static_cast<uint32_t>(table.size() / 2);
    table[1] = static_cast<uint32_t>(statements.size());
    // Labels are values; the header words are plain numbers (kind 0, so
    // retaining them does nothing).
    AreaAddr case_table = make_word_block(table.size(), table.data(), true);
    AreaAddr list = make_word_block(statements.size(), statements.data(), true);
    Value ops[4] = {discriminant, Value(case_table.bits), Value(list.bits), Value(has_default ? 1u : 0u)};
    *out = make_instruction(Op::OP_SWITCH, 4, ops, pos);
    return close + 1;
}

// ---- function ----------------------------------------------------------------------

// The parameter list of a function, from its `(` to its `)`.  Kept out of
// st_function, so that the list is off the stack while the body compiles.
[[gnu::noinline]] std::vector<uint32_t> function_params(char* open, char* close, const char* start) {
    Value params[256];
    std::string leftover;
    unsigned np = compile_bracketed(open, close, params, 256, &leftover);
    if (!leftover.empty()) compile_error(err::function_declaration_bad, excerpt(start, 120));
    std::vector<uint32_t> bits(np);
    for (unsigned i = 0; i < np; ++i) bits[i] = params[i].bits;
    return bits;
}

char* st_function(char* text, Value* out, const char* start, uint32_t pos) {
    CompilerState& c = g_compiler;
    if (c.debug_eval) compile_error(err::debug_expression_bad, excerpt(start, 100));
    uint32_t def_line = c.line;
    char* p = skip_space(text);
    uint32_t name = 0;
    bool named = false;
    if (is_name_start(*p)) {
        p = read_name(p, &name);
        if (name < kPredefinedSymbols) compile_error(err::function_name_reserved, excerpt(start, 120));
        declare_var(name);
        named = true;
    }
    auto bad = [&]() { compile_error(err::function_declaration_bad, excerpt(start, 120)); };
    p = skip_space(p);
    if (*p != '(') bad();
    char* close = find_close(p + 1, ')', '(');
    if (!close) bad();
    std::vector<uint32_t> params = function_params(p, close, start);
    unsigned np = static_cast<unsigned>(params.size());
    p = skip_space(close + 1);
    if (*p != '{') bad();

    // The function's own local region, after the enclosing one.
    size_t saved_base = c.local_base, saved_size = c.locals.size();
    bool saved_in_function = c.in_function;
    c.local_base = c.locals.size();
    c.in_function = true;
    for (unsigned i = 0; i < np; ++i) {
        uint32_t pname = 0;
        if (!declared_name(Value(params[i]), &pname)) bad();
        c.locals.push_back(pname);
    }
    Value body{};
    uint32_t end_line = 0;
    p = compile_block(p, &body, &end_line);
    size_t nl = c.locals.size() - c.local_base - np;
    if (nl > 255) bad();
    std::vector<uint32_t> names;
    names.insert(names.end(), params.begin(), params.end());
    for (size_t i = 0; i < nl; ++i) names.push_back(c.locals[c.local_base + np + i]);
    c.locals.resize(saved_size);
    c.local_base = saved_base;
    c.in_function = saved_in_function;

    NewCell cell = cell_alloc(Kind::Function);
    auto* f = reinterpret_cast<FunctionCell*>(cell.cell);
    f->module = c.module;
    f->param_count = static_cast<uint8_t>(np);
    f->local_count = static_cast<uint8_t>(nl);
    f->body = value_retain(body).bits;
    f->names = names.empty() ? AreaAddr{} : make_word_block(names.size(), names.data(), true);
    f->line = static_cast<uint16_t>(def_line);
    f->compiler_word = static_cast<uint16_t>(end_line);
    *out = named ? make_instruction(Op::OP_ASSIGN, Value::symbol(name), cell.value, pos) : cell.value;
    c.function_done = true;
    return p;
}

// ---- built-in statement forms -------------------------------------------------------

struct Form {
    Op opcode;
    unsigned min, max, capacity;
    err::Ref<const char*> error;        // missing '(' (and a count out of range, unless...)
    err::Ref<const char*> count_error;  // a count out of range
};

// The statements of one call-like form, by keyword.
const struct {
    int keyword;
    Form form;
} kForms[] = {
    {KW_SELECT, {Op::OP_SELECT, 2, 2, 256, err::database_form_bad, err::database_form_bad}},
    {KW_SELECT_HASH, {Op::OP_SELECT_HASH, 2, 2, 256, err::database_form_bad, err::database_form_bad}},
    {KW_SELECT_INTO, {Op::OP_SELECT_INTO, 3, 255, 256, err::database_form_bad, err::database_form_bad}},
    {KW_SELECT_TO_FRONT, {Op::OP_SELECT_TO_FRONT, 3, 3, 256, err::database_form_bad, err::database_form_bad}},
    {KW_SELECT_HASH_TO_FRONT, {Op::OP_SELECT_HASH_TO_FRONT, 3, 3, 256, err::database_form_bad, err::database_form_bad}},
    {KW_SELECT_EXISTS, {Op::OP_SELECT_EXISTS, 2, 2, 256, err::database_form_bad, err::database_form_bad}},
    {KW_EXECUTE, {Op::OP_EXECUTE, 2, 3, 256, err::database_form_bad, err::database_form_bad}},
    {KW_OPEN_DB, {Op::OP_OPEN_DB, 3, 3, 256, err::database_form_bad, err::database_form_bad}},
    {KW_CLOSE_DB, {Op::OP_CLOSE_DB, 1, 2, 256, err::database_form_bad, err::database_form_bad}},
    {KW_RECORD_MAP, {Op::OP_RECORD_MAP, 3, 3, 256, err::database_form_bad, err::database_form_bad}},
    {KW_RECORD_HASH, {Op::OP_RECORD_HASH, 2, 3, 256, err::database_form_bad, err::database_form_bad}},
    {KW_SQL_AGGREGATE, {Op::OP_SQL_AGGREGATE, 3, 4, 256, err::database_form_bad, err::database_form_bad}},
    {KW_DECODE_URI, {Op::OP_DECODE_URI, 1, 1, 256, err::function_form_bad, err::function_form_count}},
    {KW_DECODE_URI_COMPONENT,
     {Op::OP_DECODE_URI_COMPONENT, 1, 1, 256, err::function_form_bad, err::function_form_count}},
    {KW_ENCODE_URI, {Op::OP_ENCODE_URI, 1, 1, 256, err::function_form_bad, err::function_form_count}},
    {KW_ENCODE_URI_COMPONENT,
     {Op::OP_ENCODE_URI_COMPONENT, 1, 1, 256, err::function_form_bad, err::function_form_count}},
    {KW_EVAL, {Op::OP_EVAL, 1, 1, 256, err::function_form_bad, err::function_form_count}},
    {KW_PARSE_FLOAT, {Op::OP_PARSE_FLOAT, 1, 1, 256, err::function_form_bad, err::function_form_count}},
    {KW_PARSE_INT, {Op::OP_PARSE_INT, 0, 2, 80, err::parse_int_form_bad, err::parse_int_form_bad}},
    {KW_SEND_TO_FRONT, {Op::OP_SEND_TO_FRONT, 1, 2, 80, err::send_form_bad, err::send_form_bad}},
    {KW_ALERT_TO_FRONT, {Op::OP_ALERT_TO_FRONT, 1, 1, 80, err::alert_form_bad, err::alert_form_bad}},
};

const Form* form_of(int k) {
    for (const auto& e : kForms)
        if (e.keyword == k) return &e.form;
    return nullptr;
}

// The count error of the one-argument forms quotes less of the statement.
[[noreturn]] void form_error(err::Ref<const char*> row, const char* start) {
    compile_error(row, excerpt(start, row.id == err::Id::function_form_count ? 100 : 120));
}

char* builtin_form(int k, char* text, Value* out, const char* start, uint32_t pos) {
    const Form& f = *form_of(k);
    char* p = skip_space(text);
    if (*p != '(') form_error(f.error, start);
    char* close = find_close(p + 1, ')', '(');
    if (!close) compile_error(err::bracket_unclosed, ")", p, excerpt(start, 120));
    Value args[256];
    std::string leftover;
    unsigned n = compile_bracketed(p, close, args, f.capacity, &leftover);
    if (!leftover.empty()) {
        compile_error(err::bracket_leftover, leftover.c_str(), p, excerpt(start, 120));
    }
    if (n < f.min || n > f.max) form_error(f.count_error, start);
    // sendToFront with one argument takes a string literal or a name only.
    if (f.opcode == Op::OP_SEND_TO_FRONT && n == 1 && args[0].kind() != Kind::String && !args[0].is_symbol())
        form_error(f.count_error, start);
    *out = make_instruction(f.opcode, n, args, f.opcode == Op::OP_PARSE_FLOAT ? 0 : pos);
    return close + 1;
}

template <int K>
char* st_form(char* text, Value* out, const char* start, uint32_t pos) {
    return builtin_form(K, text, out, start, pos);
}

char* st_reserved(char*, Value*, const char* start, uint32_t) {
    compile_error(err::reserved_statement, excerpt(start, 120));
}

// Indexed by keyword (68 entries).
constexpr StatementFn kStatementTable[kKeywordCount] = {
    st_break, st_if, st_let, st_return, st_form<KW_RECORD_MAP>, st_form<KW_RECORD_HASH>,
    st_reserved, st_reserved, st_reserved, st_reserved, st_reserved, st_reserved, st_reserved, st_reserved,
    st_var, st_while, st_form<KW_OPEN_DB>, st_form<KW_CLOSE_DB>, st_const, st_continue, st_do,
    st_form<KW_DECODE_URI>, st_form<KW_DECODE_URI_COMPONENT>, st_form<KW_EVAL>, st_form<KW_EXECUTE>,
    st_form<KW_ENCODE_URI>, st_form<KW_ENCODE_URI_COMPONENT>, st_for, st_function, st_form<KW_SELECT>,
    st_form<KW_SELECT_HASH>, st_form<KW_SELECT_INTO>, st_form<KW_SELECT_TO_FRONT>,
    st_form<KW_SELECT_HASH_TO_FRONT>, st_form<KW_SEND_TO_FRONT>, st_switch, st_form<KW_SELECT_EXISTS>,
    st_form<KW_SQL_AGGREGATE>, st_throw, st_try, st_form<KW_PARSE_INT>, st_form<KW_PARSE_FLOAT>,
    st_form<KW_ALERT_TO_FRONT>,
    st_reserved, st_reserved, st_reserved, st_reserved, st_reserved, st_reserved, st_reserved, st_reserved,
    st_reserved, st_reserved, st_reserved, st_reserved, st_reserved, st_reserved, st_reserved, st_reserved,
    st_reserved, st_reserved, st_reserved, st_reserved, st_reserved, st_reserved, st_reserved, st_reserved,
    st_reserved,
};

// Keywords whose construct is a value: at the start of a statement they are
// compiled as an expression statement, so `parseInt(s) + 1;` stays one
// expression (the tokenizer reaches the same table entry).
bool is_value_form(int k) { return form_of(k) != nullptr; }

}  // namespace

StatementFn statement_compiler(int k) { return kStatementTable[k]; }

std::string_view statement_word(unsigned opcode) {
    for (const auto& e : kForms)
        if (op_byte(e.form.opcode) == opcode) return keyword_word(e.keyword);
    return {};
}

char* compile_block(char* p, Value* out, uint32_t* end_line) {
    uint32_t pos = position_of(p);
    char* close = find_close(p + 1, '}', '{');
    if (!close) compile_error(err::block_unclosed, excerpt(p + 1, 120));
    std::vector<Value> list;
    {
        Region region;
        *close = '\0';
        compile_statements(p + 1, list, false);
        *close = '}';
    }
    *end_line = g_compiler.line;
    *out = make_instruction(Op::OP_BLOCK, list.size(), list.data(), pos);
    return close + 1;
}

char* compile_statement(char* text, Value* out) {
    char* p = skip_space(text);
    *out = Value{};
    struct Depth {
        explicit Depth(const char* at) {
            if (g_compiler.statement_depth >= kMaxStatementNesting)
                compile_error(err::expression_bad, excerpt(at, 120));
            ++g_compiler.statement_depth;
        }
        ~Depth() { --g_compiler.statement_depth; }
    } depth(p);
    uint32_t pos = position_of(p);
    char* q = p;
    if (*p == '{') {
        uint32_t end_line = 0;
        q = compile_block(p, out, &end_line);
    } else {
        int k = keyword(&q);
        if (k >= 0 && !is_value_form(k)) {
            q = kStatementTable[k](q, out, p, pos);
        } else {
            Value items[18];
            unsigned n = 0;
            q = compile_list(p, items, 18, &n);
            if (n > 1) compile_error(err::statement_list_bad, excerpt(p, 120));
            if (n == 1) *out = items[0];
            return q;
        }
    }
    // The whitespace is skipped once here (lines are counted as it is).
    char* r = skip_space(q);
    return *r == ';' ? r + 1 : r;
}

char* compile_statements(char* text, std::vector<Value>& list, bool retain) {
    char* p = text;
    for (;;) {
        p = skip_space(p);
        while (*p == ';') p = skip_space(p + 1);
        if (!*p) return p;
        Value v{};
        p = compile_statement(p, &v);
        if (v.bits != 0) list.push_back(retain ? value_retain(v) : v);
    }
}

}  // namespace koru
