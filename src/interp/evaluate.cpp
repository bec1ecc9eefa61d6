#include "interp/evaluate.h"

#include <array>
#include <cstring>
#include <string>

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

CompileTextFn g_compile_text = nullptr;

constexpr void fill(Table& t, Op op, Handler h) { t[op_byte(op) - kOpFirst] = h; }

Table build_main_table() {
    Table t{};
    t.fill(h_unavailable);
    for (unsigned op = op_byte(Op::OP_UNUSED_FIRST); op <= op_byte(Op::OP_LAST); ++op) t[op - kOpFirst] = h_reject;
    const std::pair<Op, Handler> entries[] = {
        {Op::OP_NOP, h_nop}, {Op::OP_POST_INC, h_post_inc}, {Op::OP_POST_DEC, h_post_dec},
        {Op::OP_PRE_INC, h_pre_inc}, {Op::OP_PRE_DEC, h_pre_dec}, {Op::OP_TYPEOF, h_typeof},
        {Op::OP_INSTANCEOF, h_instanceof}, {Op::OP_NOT, h_not}, {Op::OP_AND, h_and}, {Op::OP_OR, h_or},
        {Op::OP_EQ, h_eq}, {Op::OP_STRICT_EQ, h_strict_eq}, {Op::OP_NE, h_ne}, {Op::OP_STRICT_NE, h_strict_ne},
        {Op::OP_GE, h_ge}, {Op::OP_GT, h_gt}, {Op::OP_LE, h_le}, {Op::OP_LT, h_lt}, {Op::OP_ADD, h_add},
        {Op::OP_SUB, h_sub}, {Op::OP_MUL, h_mul}, {Op::OP_DIV, h_div}, {Op::OP_MOD, h_mod},
        {Op::OP_ASSIGN, h_assign}, {Op::OP_ADD_ASSIGN, h_add_assign}, {Op::OP_SUB_ASSIGN, h_sub_assign},
        {Op::OP_MUL_ASSIGN, h_mul_assign}, {Op::OP_DIV_ASSIGN, h_div_assign}, {Op::OP_MOD_ASSIGN, h_mod_assign},
        {Op::OP_AND_ASSIGN, h_and_assign}, {Op::OP_OR_ASSIGN, h_or_assign}, {Op::OP_XOR_ASSIGN, h_xor_assign},
        {Op::OP_BIT_AND, h_bit_and}, {Op::OP_BIT_OR, h_bit_or}, {Op::OP_BIT_XOR, h_bit_xor},
        {Op::OP_BIT_NOT, h_bit_not}, {Op::OP_SHL, h_shl}, {Op::OP_SHR, h_shr}, {Op::OP_USHR, h_ushr},
        {Op::OP_COND, h_cond}, {Op::OP_NOP_140, h_nop}, {Op::OP_VAR, h_var}, {Op::OP_LET, h_let},
        {Op::OP_CONST, h_const}, {Op::OP_INDEX, h_index}, {Op::OP_MEMBER, h_member}, {Op::OP_NOP_146, h_nop},
        {Op::OP_IF, h_if}, {Op::OP_WHILE, h_while}, {Op::OP_DO_WHILE, h_do_while}, {Op::OP_FOR, h_for},
        {Op::OP_FOR_OF, h_for_of}, {Op::OP_FOR_IN, h_for_in}, {Op::OP_TRY, h_try}, {Op::OP_THROW, h_throw},
        {Op::OP_BLOCK, h_block}, {Op::OP_BREAK, h_break}, {Op::OP_CONTINUE, h_continue},
        {Op::OP_RETURN, h_return}, {Op::OP_SEQUENCE, h_sequence}, {Op::OP_CALL, h_call}, {Op::OP_POW, h_pow},
        {Op::OP_SEND_TO_FRONT, h_send_to_front}, {Op::OP_SWITCH, h_switch}, {Op::OP_NUMBER, h_number},
        {Op::OP_STRING, h_string}, {Op::OP_DECODE_URI, h_decode_uri},
        {Op::OP_DECODE_URI_COMPONENT, h_decode_uri_component}, {Op::OP_ENCODE_URI, h_encode_uri},
        {Op::OP_ENCODE_URI_COMPONENT, h_encode_uri_component}, {Op::OP_EVAL, h_eval}, {Op::OP_NEW, h_new},
        {Op::OP_EXCEPTION, h_exception}, {Op::OP_INTEGER, h_integer}, {Op::OP_FLOAT, h_float},
        {Op::OP_ERROR, h_exception}, {Op::OP_ARRAY, h_array}, {Op::OP_HASH_CALL, h_hash_call},
        {Op::OP_ALERT_TO_FRONT, h_alert_to_front},
    };
    for (const auto& [op, h] : entries) fill(t, op, h);
    return t;
}

// Opcodes that change program state or control flow: the debugger's
// expression evaluation refuses them.
constexpr bool debug_rejects(unsigned op) {
    return op == 105 || op == 106 || (op >= 141 && op <= 143) || (op >= 148 && op <= 158) || op == 160 ||
           (op >= 162 && op <= 170) || (op >= 180 && op <= 184) || op == 188 || (op >= 192 && op <= 194) ||
           op >= op_byte(Op::OP_UNUSED_FIRST);
}

Table build_debug_table(const Table& main) {
    Table t = main;
    for (unsigned op = kOpFirst; op < kOpFirst + kOpCount; ++op)
        if (debug_rejects(op)) t[op - kOpFirst] = h_reject;
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
        Value v = run_text(text.data() + open + 2, len, false, kUndefinedValue);
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
    if (g_debug_step) {
        // What the debugger evaluates meanwhile is not the unread statement.
        bool unused = g_interp.result_unused;
        g_interp.result_unused = false;
        g_debug_step(v);
        g_interp.result_unused = unused;
    }
    if (!is_opcode(c.opcode)) unevaluable(v);
    const Table& t = g_errors.debug_eval ? g_debug : g_main;
    return t[c.opcode - kOpFirst](c);
}

}  // namespace

DebugStepFn g_debug_step = nullptr;

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

void set_compile_text_fn(CompileTextFn fn) { g_compile_text = fn; }
CompileTextFn compile_text_fn() { return g_compile_text; }
void set_debug_step_fn(DebugStepFn fn) { g_debug_step = fn; }

void set_handler(unsigned opcode, Handler h) {
    if (!is_opcode(opcode) || opcode >= op_byte(Op::OP_UNUSED_FIRST)) return;
    if (!h) h = h_unavailable;  // uninstalling
    g_main[opcode - kOpFirst] = h;
    g_by_byte[opcode] = h;
    if (!debug_rejects(opcode)) g_debug[opcode - kOpFirst] = h;
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
}  // namespace

Value run_text(const char* text, size_t len, bool no_stops, Value empty_result) {
    if (!g_compile_text) raise_runtime(err::bad_expression_text, static_cast<int>(len > 120 ? 120 : len), text);
    check_limits();
    TextNesting nesting;
    CompiledList list;
    g_compile_text(text, len, no_stops, list.cells);
    for (Value v : list.cells) value_retain(v);
    if (list.cells.empty()) return empty_result;
    TempGuard last;
    for (Value stmt : list.cells) {
        last.reset(evaluate(stmt));
        if (jump_pending()) break;
    }
    // The result may live inside the compiled cells (a literal): keep it
    // alive across their release and hand it back with the count it had.
    Value result = value_retain(last.release());
    for (Value v : list.cells) value_release(v);
    list.cells.clear();
    value_unref(result);
    return result;
}

// ---- handlers of this file --------------------------------------------------------

Value h_nop(const InstrCell&) { return kUndefinedValue; }

Value h_reject(const InstrCell&) { raise_runtime(err::debug_eval_rejected); }

// An opcode this build has no handler for: the message names the statement
// as the script wrote it, never the opcode.
Value h_unavailable(const InstrCell& c) {
    std::string_view word = statement_word(c.opcode);
    raise_runtime(err::bad_expression_text, static_cast<int>(word.size()), word.data());
}

}  // namespace koru
