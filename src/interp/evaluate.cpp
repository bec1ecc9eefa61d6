#include "interp/evaluate.h"

#include <array>
#include <cstring>
#include <string>
#include <unordered_map>

#include "compiler/statements.h"
#include "host/errors.h"
#include "interp/handlers.h"
#include "interp/opcodes.h"
#include "interp/support.h"
#include "interp/variables.h"
#include "runtime/limits.h"
#include "runtime/objects.h"
#include "runtime/text.h"

namespace koru {

namespace {

using Table = std::array<Handler, kOpCount>;

// The handlers of the opcode table's rows; the bytes after them reject.
Table build_main_table() {
    constexpr Handler kRowHandlers[] = {
#define KORU_OP_HANDLER(name, byte, handler, ...) handler,
        KORU_OPCODES(KORU_OP_HANDLER)
#undef KORU_OP_HANDLER
    };
    static_assert(sizeof kRowHandlers / sizeof kRowHandlers[0] == op_table::kRowCount);
    Table t{};
    t.fill(h_reject);
    for (unsigned i = 0; i < op_table::kRowCount; ++i) t[i] = kRowHandlers[i];
    return t;
}

// The debugger's expression evaluation: the same handlers, but what the
// table marks as changing program state or control flow is refused.
Table build_debug_table(const Table& main) {
    Table t = main;
    for (unsigned op = kOpFirst; op < kOpFirst + kOpCount; ++op)
        if (debug_refuses(op)) t[op - kOpFirst] = h_reject;
    return t;
}

Table g_main = build_main_table();
Table g_debug = build_debug_table(g_main);

// The main table indexed by the whole opcode byte, so that the frequent path
// needs no range test: bytes that are no opcode have no value.
Value h_not_an_opcode(const InstrCell&) { raise_runtime(err::bad_expression, ""); }

using ByteTable = std::array<Handler, 256>;
ByteTable build_byte_table(const Table& main) {
    ByteTable t;
    t.fill(h_not_an_opcode);
    for (unsigned op = kOpFirst; op < kOpFirst + kOpCount; ++op) t[op] = main[op - kOpFirst];
    return t;
}
ByteTable g_by_byte = build_byte_table(g_main);

// ---- literals ---------------------------------------------------------------------

constexpr unsigned kMaxLiteralDepth = 256;

bool element_needs_eval(Value e, unsigned depth);

bool literal_needs_eval(Value lit, unsigned depth) {
    if (depth > kMaxLiteralDepth) return false;
    switch (lit.kind()) {
    case Kind::Array: {
        const Value* e = array_elements(lit);
        for (uint32_t i = 0, n = array_count(lit); i < n; ++i)
            if (element_needs_eval(e[i], depth)) return true;
        return false;
    }
    case Kind::KeyedArray: {
        const Pair* p = keyed_pairs(lit);
        for (uint32_t i = 0, n = keyed_count(lit); i < n; ++i)
            if (element_needs_eval(p[i].value, depth)) return true;
        return false;
    }
    case Kind::Hash: {
        const Pair* p = hash_pairs(lit);
        for (uint32_t i = 0, n = hash_count(lit); i < n; ++i)
            if (element_needs_eval(p[i].value, depth)) return true;
        return false;
    }
    default:
        return false;
    }
}

bool element_needs_eval(Value e, unsigned depth) {
    switch (e.kind()) {
    case Kind::Immediate:
    case Kind::None4:
    case Kind::Instruction:
    case Kind::IntKey:
        return true;
    case Kind::String:
        return cell_as<StringCell>(e)->is_template();
    case Kind::Array:
    case Kind::KeyedArray:
    case Kind::Hash:
        return literal_needs_eval(e, depth + 1);
    default:
        return false;
    }
}

Value copy_literal(Value lit) {
    Kind k = lit.kind();
    uint32_t n = k == Kind::Array ? array_count(lit) : k == Kind::KeyedArray ? keyed_count(lit) : hash_count(lit);
    ValueList got;  // released if an element's evaluation fails
    for (uint32_t i = 0; i < n; ++i) {
        Value e = k == Kind::Array ? array_elements(lit)[i]
                                   : (k == Kind::KeyedArray ? keyed_pairs(lit) : hash_pairs(lit))[i].value;
        got.evaluate_push(e);
    }
    Value out = k == Kind::Array ? make_array(n) : k == Kind::KeyedArray ? make_keyed_array(n) : make_hash(n);
    for (uint32_t i = 0; i < n; ++i) {
        Value v = value_retain(got.values[i]);
        if (k == Kind::Array) {
            array_elements(out)[i] = v;
        } else {
            Pair* dst = k == Kind::KeyedArray ? keyed_pairs(out) : hash_pairs(out);
            const Pair* src = k == Kind::KeyedArray ? keyed_pairs(lit) : hash_pairs(lit);
            dst[i] = Pair{src[i].key, v};
        }
    }
    // The copies now hold their own references: keep them, forget the temporaries.
    got.forget();
    return out;
}

// ---- templates -------------------------------------------------------------------

bool odd_backslashes_before(const std::string& s, size_t pos) {
    size_t n = 0;
    while (pos > n && s[pos - n - 1] == '\\') ++n;
    return n & 1;
}

// The code of a template's substitutions is compiled the first time the
// template is expanded and kept for the next times, per template cell and
// substitution.  It is compiled for the module and line of the instruction
// being run, which its positions (in errors too) carry: another module or
// line compiles afresh.  The code goes when its template does, and with
// the memory on a reset.
struct Substitution {
    uint32_t offset;  // of the "${" in the template's text
    uint8_t module;
    uint32_t line;
    std::vector<Value> cells;  // retained
};

class TemplateCode {
public:
    std::vector<Value>* find(Value str, uint32_t offset, uint8_t module, uint32_t line) {
        restart_if_reset();
        auto t = map_.find(str.bits);
        if (t == map_.end()) return nullptr;
        for (Substitution& s : t->second)
            if (s.offset == offset) return s.module == module && s.line == line ? &s.cells : nullptr;
        return nullptr;
    }

    // Keeps freshly compiled cells (retaining them) and returns the kept list.
    const std::vector<Value>& keep(Value str, uint32_t offset, uint8_t module, uint32_t line,
                                   const std::vector<Value>& cells) {
        restart_if_reset();
        std::vector<Substitution>& subs = map_[str.bits];
        Substitution* at = nullptr;
        for (Substitution& s : subs)
            if (s.offset == offset) at = &s;
        if (at) release(at->cells);
        else at = &subs.emplace_back();
        *at = Substitution{offset, module, line, cells};
        retain(at->cells);
        return at->cells;
    }

    void forget(Value str) {
        if (generation_ != g_memory_generation) return;
        auto t = map_.find(str.bits);
        if (t == map_.end()) return;
        std::vector<Substitution> subs = std::move(t->second);
        map_.erase(t);
        for (Substitution& s : subs) release(s.cells);
    }

private:
    static void retain(const std::vector<Value>& cells) {
        for (Value v : cells) value_retain(v);
    }
    static void release(const std::vector<Value>& cells) {
        for (Value v : cells) value_release(v);
    }
    // After a reset the cells are gone with their pages: forget them unreleased.
    void restart_if_reset() {
        if (generation_ == g_memory_generation) return;
        map_.clear();
        generation_ = g_memory_generation;
    }

    std::unordered_map<uint32_t, std::vector<Substitution>> map_;
    uint32_t generation_ = ~0u;

public:
    static TemplateCode g_template_code;
};
TemplateCode TemplateCode::g_template_code;

// The code of one substitution, compiled or found, run as run_text runs
// its text.
Value run_template_part(Value str, uint32_t offset, const char* text, size_t len);

Value expand_template(Value str) {
    const std::string text(string_text(str), string_length(str));
    std::string out;
    size_t from = 0;
    for (;;) {
        size_t open = text.find("${", from);
        if (open == std::string::npos) break;
        if (odd_backslashes_before(text, open)) {
            out.append(text, from, open + 2 - from);
            from = open + 2;
            continue;
        }
        size_t close = text.find('}', open + 2);
        if (close == std::string::npos || odd_backslashes_before(text, close))
            raise_runtime(err::template_unclosed);
        size_t len = close - open - 2;
        if (len >= 512) raise_runtime(err::template_overflow);
        out.append(text, from, open - from);
        Value v = g_plain_paths ? run_text(text.data() + open + 2, len, false, kUndefinedValue)
                                : run_template_part(str, static_cast<uint32_t>(open), text.data() + open + 2, len);
        TempGuard g(v);
        write_display(v, out, false);
        from = close + 1;
    }
    out.append(text, from, std::string::npos);
    return make_string(out);
}

// The text of an unevaluable value for error 2015: at most 120 bytes of
// whole UTF-8 characters, stopping at a line feed.
std::string unevaluable_text(Value v) {
    std::string s;
    switch (v.kind()) {
    case Kind::SqlObject: s = "SQL_Object"; break;
    case Kind::DbConnection: s = "DB_Connection"; break;
    case Kind::IntKey: s = std::to_string(v.low24()); break;
    default: break;
    }
    size_t end = s.find('\n');
    if (end == std::string::npos) end = s.size();
    if (end > 120) {
        end = 120;
        while (end > 0 && (static_cast<uint8_t>(s[end]) & 0xC0) == 0x80) --end;
    }
    return s.substr(0, end);
}

[[noreturn]] void unevaluable(Value v) {
    std::string t = unevaluable_text(v);
    raise_runtime(err::bad_expression, t.c_str());
}

// With the debugger attached: its look at the instruction, and the table
// of the debugger's expression evaluation.
[[gnu::noinline]] Value dispatch_debug(Value v) {
    const InstrCell& c = *cell_as<InstrCell>(v);
    if (g_hooks.debug_step) {
        // What the debugger evaluates meanwhile is not the unread statement.
        bool unused = g_interp.result_unused;
        g_interp.result_unused = false;
        g_hooks.debug_step(v);
        g_interp.result_unused = unused;
    }
    if (!is_opcode(c.opcode)) unevaluable(v);
    const Table& t = g_errors.debug_eval ? g_debug : g_main;
    return t[c.opcode - kOpFirst](c);
}

}  // namespace

Value dispatch(Value v) {
    const InstrCell& c = *cell_as<InstrCell>(v);
    enter_instruction(c);
    if (debug_hooks_active()) [[unlikely]]
        return dispatch_debug(v);
    return g_by_byte[c.opcode](c);
}

// Everything but instructions and names: data, literals and templates.
// Kept out of line so that the two frequent cases stay a short path.
Value evaluate_data(Value v) {
    switch (v.kind()) {
    case Kind::Int:
    case Kind::Date:
    case Kind::Exception:
    case Kind::RegExp:
    case Kind::Double:
    case Kind::Function:
        return v;
    case Kind::String:
        return cell_as<StringCell>(v)->is_template() ? expand_template(v) : v;
    case Kind::Array:
    case Kind::KeyedArray:
    case Kind::Hash:
        return literal_needs_eval(v, 0) ? copy_literal(v) : v;
    default:
        unevaluable(v);
    }
}


void set_handler(unsigned opcode, Handler h) {
    if (!has_row(opcode)) return;
    if (!h) h = build_main_table()[opcode - kOpFirst];  // back to the table's own
    g_main[opcode - kOpFirst] = h;
    g_by_byte[opcode] = h;
    if (!debug_refuses(opcode)) g_debug[opcode - kOpFirst] = h;
}

namespace {
// Holds compiled statement cells while they run and releases them after.
struct CompiledList {
    std::vector<Value> cells;
    ~CompiledList() {
        for (Value v : cells) value_release(v);
    }
};

// One level of the nesting that calls, eval and templates share.
struct TextNesting {
    TextNesting() { enter_nesting(); }
    ~TextNesting() { leave_nesting(); }
    TextNesting(const TextNesting&) = delete;
    TextNesting& operator=(const TextNesting&) = delete;
};

// Runs statement cells, each retained for the run and released after it:
// the value of the last one, or `empty_result` when there is none.
Value run_cells(const std::vector<Value>& cells, Value empty_result) {
    if (cells.empty()) return empty_result;
    // Released after the result is safe, or when a statement raises (after
    // the temporary of the statement before it).
    struct Held {
        const std::vector<Value>& cells;
        bool held = true;
        void release() {
            if (!held) return;
            held = false;
            for (Value v : cells) value_release(v);
        }
        ~Held() { release(); }
    } held{cells};
    for (Value v : cells) value_retain(v);
    TempGuard last;
    for (Value stmt : cells) {
        last.reset(evaluate(stmt));
        if (jump_pending()) break;
    }
    // The result may live inside the cells (a literal): keep it alive
    // across their release and hand it back with the count it had.
    Value result = value_retain(last.release());
    held.release();
    value_unref(result);
    return result;
}

// What run_text and a template's substitution do first: refuse when there
// is no compiler, and stop a request past its limits.
void before_text(const char* text, size_t len) {
    if (!g_hooks.compile_text) raise_runtime(err::bad_expression_text, static_cast<int>(len > 120 ? 120 : len), text);
    check_limits();
}

// Compiles text into unretained statement cells; what a failing compilation
// made is freed.
std::vector<Value> compile_cells(const char* text, size_t len, bool no_stops) {
    CompiledList list;
    g_hooks.compile_text(text, len, no_stops, list.cells);
    std::vector<Value> cells = std::move(list.cells);
    list.cells.clear();
    return cells;
}
}  // namespace

Value run_text(const char* text, size_t len, bool no_stops, Value empty_result) {
    before_text(text, len);
    TextNesting nesting;
    return run_cells(compile_cells(text, len, no_stops), empty_result);
}

namespace {
Value run_template_part(Value str, uint32_t offset, const char* text, size_t len) {
    before_text(text, len);
    TextNesting nesting;
    TemplateCode& code = TemplateCode::g_template_code;
    const uint32_t line = g_errors.position & 0xFFFF;
    const uint8_t module = g_errors.module;
    const std::vector<Value>* cells = code.find(str, offset, module, line);
    if (!cells) cells = &code.keep(str, offset, module, line, compile_cells(text, len, false));
    // A copy: running the code may free the template, and its entry with it.
    const std::vector<Value> run = *cells;
    return run_cells(run, kUndefinedValue);
}
}  // namespace

// ---- handlers of this file --------------------------------------------------------

Value h_nop(const InstrCell&) { return kUndefinedValue; }

Value h_reject(const InstrCell&) { raise_runtime(err::debug_eval_rejected); }

// An opcode this build has no handler for: the message names the statement
// as the script wrote it, never the opcode.
Value h_unavailable(const InstrCell& c) {
    std::string_view word = statement_word(c.opcode);
    raise_runtime(err::bad_expression_text, static_cast<int>(word.size()), word.data());
}

void template_code_forget(Value str) { TemplateCode::g_template_code.forget(str); }

}  // namespace koru
