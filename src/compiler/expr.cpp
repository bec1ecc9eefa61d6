#include "compiler/expr.h"

#include <cstring>
#include <string>
#include <string_view>

#include "compiler/emit.h"
#include "compiler/keywords.h"
#include "compiler/literals.h"
#include "compiler/source.h"
#include "compiler/state.h"
#include "compiler/statements.h"
#include "runtime/refcount.h"
#include "runtime/symbols.h"

namespace koru {

namespace {

constexpr uint32_t kEmpty = 0x0FFFFFFF;  // an operator slot or a consumed slot
constexpr uint8_t kOperand = 1;
constexpr unsigned kLevels = 18;
constexpr unsigned kMaxCellOperands = 254;
constexpr unsigned kMaxNesting = 160;  // brackets and literals inside each other

uint8_t op(Op o) { return op_byte(o); }

// The level of each operator opcode, as the opcode table gives it (-1 = none).
constexpr int level_of(unsigned code) { return has_row(code) ? op_row(code).level : -1; }

// The operators that one level's reducer takes, in the order of their rank
// (operators taken by the call after them are left to it).
struct LevelOps {
    uint8_t ops[16] = {};
    unsigned count = 0;
};

constexpr LevelOps level_ops(int level) {
    LevelOps l;
    for (unsigned rank = 0; rank < 8; ++rank)
        for (unsigned code = kOpFirst; code < kOpUnusedFirst; ++code) {
            const OpInfo& r = op_row(code);
            if (r.level == level && r.rank == rank && !(r.flags & op_flag::C)) l.ops[l.count++] = static_cast<uint8_t>(code);
        }
    return l;
}

// Argument ranges of the conversion names and of `new`.
struct ClassRule {
    uint32_t symbol;
    unsigned min, max;
    Op opcode;
};
constexpr ClassRule kClassRules[] = {
    {SYM_Number, 0, 1, Op::OP_NUMBER},   {SYM_Integer, 0, 1, Op::OP_INTEGER}, {SYM_Float, 0, 1, Op::OP_FLOAT},
    {SYM_Date, 0, 7, Op::OP_DATE},       {SYM_Error, 1, 2, Op::OP_ERROR},     {SYM_RegExp, 1, 2, Op::OP_REGEXP},
    {SYM_String, 0, 1, Op::OP_STRING},   {SYM_Array, 0, 256, Op::OP_ARRAY},   {SYM_Hash, 0, 256, Op::OP_HASH_CALL},
    {SYM_Exception, 1, 2, Op::OP_EXCEPTION},
};

const ClassRule* class_rule(uint32_t symbol) {
    for (const ClassRule& r : kClassRules)
        if (r.symbol == symbol) return &r;
    return nullptr;
}

// Names that compile to their own instruction when written as a call.
// Hash(...) is one of them: written as a call it makes a new empty Hash
// (opcode 190), as the opcode table has it.
bool is_conversion_name(uint32_t s) {
    return s == SYM_Integer || s == SYM_Float || s == SYM_Error || s == SYM_RegExp || s == SYM_Array ||
           s == SYM_Exception || s == SYM_Hash;
}

struct Nesting {
    Nesting() {
        if (++g_compiler.expr_depth > kMaxNesting) {
            --g_compiler.expr_depth;
            compile_error(err::expression_bad, "nesting too deep");
        }
    }
    ~Nesting() { --g_compiler.expr_depth; }
};

// One compile_list / compile_value call: the token array and its text.
class ListCompiler {
public:
    ListCompiler(char* text, bool value_mode) : start_(text), value_mode_(value_mode) {}

    char* run(Value* out, unsigned capacity, unsigned* count);

private:
    uint32_t value_[kTokenSlots];
    uint8_t kind_[kTokenSlots];
    uint32_t pos_[kTokenSlots];
    unsigned n_ = 0;
    bool levels_[kLevels] = {};
    const char* start_;
    bool value_mode_;

    [[noreturn]] void fail() const {
        if (value_mode_) compile_error(err::value_text_bad, excerpt(start_, 120));
        compile_error(err::expression_bad, excerpt(start_, 120));
    }
    [[noreturn]] void bad_token(const char*) const {
        compile_error(err::expression_bad_token, excerpt(start_, 120));
    }

    bool prev_is_operand() const { return n_ > 0 && kind_[n_ - 1] <= 30; }
    bool prev_is_operator() const { return n_ > 0 && value_[n_ - 1] == kEmpty; }
    void push_op(uint8_t code, uint32_t pos) {
        value_[n_] = kEmpty;
        kind_[n_] = code;
        pos_[n_] = pos;
        ++n_;
        int l = level_of(code);
        if (l >= 0) levels_[l] = true;
    }
    void push_operand(Value v, uint32_t pos) {
        value_[n_] = v.bits;
        kind_[n_] = kOperand;
        pos_[n_] = pos;
        ++n_;
    }

    char* tokenize();
    char* next_token(char* p, bool* done);
    char* operator_token(char* p, uint32_t pos, bool* handled);
    char* sign_or_additive(char* p, uint32_t pos);
    char* bracket_after_operand(char* p, uint32_t pos);
    char* group(char* p, uint32_t pos);
    char* word(char* p, uint32_t pos);
    char* conversion_call(char* p, uint32_t symbol, uint32_t pos, const char* name_start);
    char* new_expression(char* p, uint32_t pos);
    char* argument_list(char* p, const char* name_start, unsigned* count, Value* args, unsigned min, unsigned max,
                        bool check);

    // Reducers.
    int left_operand(unsigned i) const;
    int right_operand(unsigned i) const;
    void reduce();
    void reduce_binary(const uint8_t* set, unsigned n, bool rightmost, bool level0);
    void reduce_postfix(uint8_t code);
    void reduce_prefix(uint8_t code);
    void reduce_chain(uint8_t code);
    void reduce_conditional();
    void consume(unsigned i) {
        value_[i] = kEmpty;
        kind_[i] = kOperand;
    }
    void collect(Value* out, unsigned capacity, unsigned* count);
};

char* ListCompiler::run(Value* out, unsigned capacity, unsigned* count) {
    Nesting guard;
    g_compiler.function_done = false;
    char* end = tokenize();
    *count = 0;
    if (n_ == 0) return end;
    uint8_t last = kind_[n_ - 1];
    if (last > 30 && last != op(Op::OP_POST_INC) && last != op(Op::OP_POST_DEC)) fail();
    reduce();
    collect(out, capacity, count);
    return end;
}

// Fills the token array; returns the address of the terminator (the ';' or
// NUL not consumed; for a value the address after its ',').
char* ListCompiler::tokenize() {
    char* p = const_cast<char*>(start_);
    bool done = false;
    while (!done) {
        if (n_ > kMaxTokens) {
            if (value_mode_) compile_error(err::value_text_operator, excerpt(start_, 120));
            compile_error(err::expression_operator_bad, excerpt(start_, 120));
        }
        p = next_token(p, &done);
    }
    return p;
}

char* ListCompiler::next_token(char* p, bool* done) {
    p = skip_space(p);
    uint32_t pos = position_of(p);
    char c = *p;
    if (c == '\0') {
        *done = true;
        return p;
    }
    if (c == ';') {
        if (value_mode_) compile_error(err::value_text_semicolon);
        *done = true;
        return p;
    }
    if (c == ',' && value_mode_) {
        *done = true;
        return p + 1;
    }
    bool handled = false;
    char* after = operator_token(p, pos, &handled);
    if (handled) return after;
    switch (c) {
        case '+':
        case '-':
            return sign_or_additive(p, pos);
        case '.':
            if (prev_is_operand()) {
                push_op(op(Op::OP_MEMBER), pos);
                char* q = skip_space(p + 1);
                if (!is_name_start(*q)) bad_token(p);
                uint32_t name = 0;
                uint32_t name_pos = position_of(q);
                q = read_name(q, &name);
                push_operand(Value::symbol(name), name_pos);
                return q;
            }
            [[fallthrough]];
        case '0': case '1': case '2': case '3': case '4': case '5': case '6': case '7': case '8': case '9': {
            Value v;
            char* q = compile_number(p, &v, 1);
            push_operand(v, pos);
            return q;
        }
        case '"':
        case '\'':
        case '`': {
            Value v;
            char* q = compile_string(p + 1, c, &v);
            push_operand(v, pos);
            return q;
        }
        case '{': {
            Nesting guard;
            Value v;
            char* q = compile_object(p + 1, &v);
            push_operand(v, pos);
            return q;
        }
        case '[':
            if (prev_is_operand()) return bracket_after_operand(p, pos);
            {
                Nesting guard;
                Value v;
                char* q = compile_array(p + 1, &v);
                push_operand(v, pos);
                return q;
            }
        case '(':
            if (prev_is_operand()) return bracket_after_operand(p, pos);
            return group(p, pos);
        case '/': {
            Value v;
            char* q = compile_regex_literal(p + 1, &v, pos);
            push_operand(v, pos);
            return q;
        }
        default:
            break;
    }
    char* q = word(p, pos);
    if (g_compiler.function_done) *done = true;
    return q;
}

// The operators spelled with punctuation other than + - . ( [ and '/' in
// operand position.
char* ListCompiler::operator_token(char* p, uint32_t pos, bool* handled) {
    struct Spelling {
        std::string_view text;
        Op code;
    };
    // Longest spellings first within each first byte.
    static constexpr Spelling kSpellings[] = {
        {"!==", Op::OP_STRICT_NE}, {"!=", Op::OP_NE},        {"!", Op::OP_NOT},       {"===", Op::OP_STRICT_EQ},
        {"==", Op::OP_EQ},         {"=", Op::OP_ASSIGN},     {"<<", Op::OP_SHL},      {"<=", Op::OP_LE},
        {"<", Op::OP_LT},          {">>>", Op::OP_USHR},     {">>", Op::OP_SHR},      {">=", Op::OP_GE},
        {">", Op::OP_GT},          {"&&", Op::OP_AND},       {"&=", Op::OP_AND_ASSIGN}, {"&", Op::OP_BIT_AND},
        {"||", Op::OP_OR},         {"|=", Op::OP_OR_ASSIGN}, {"|", Op::OP_BIT_OR},    {"^=", Op::OP_XOR_ASSIGN},
        {"^", Op::OP_BIT_XOR},     {"~", Op::OP_BIT_NOT},    {"**", Op::OP_POW},      {"*=", Op::OP_MUL_ASSIGN},
        {"*", Op::OP_MUL},         {"%=", Op::OP_MOD_ASSIGN}, {"%", Op::OP_MOD},      {",", Op::OP_NOP_146},
        {"?", Op::OP_COND},        {":", Op::OP_NOP_140},
    };
    if (*p == '/' && !(n_ == 0 || prev_is_operator())) {
        *handled = true;
        if (p[1] == '=') {
            push_op(op(Op::OP_DIV_ASSIGN), pos);
            return p + 2;
        }
        push_op(op(Op::OP_DIV), pos);
        return p + 1;
    }
    // Only a spelling that starts with the byte can match: the others are
    // passed over without comparing.
    for (const Spelling& s : kSpellings) {
        if (s.text[0] != *p) continue;
        if (std::strncmp(p, s.text.data(), s.text.size()) == 0) {
            *handled = true;
            push_op(op(s.code), pos);
            return p + s.text.size();
        }
    }
    return p;
}

char* ListCompiler::sign_or_additive(char* p, uint32_t pos) {
    char c = *p;
    bool plus = c == '+';
    if (p[1] == '=') {
        push_op(op(plus ? Op::OP_ADD_ASSIGN : Op::OP_SUB_ASSIGN), pos);
        return p + 2;
    }
    if (p[1] == c) {
        bool postfix = prev_is_operand();
        push_op(op(plus ? (postfix ? Op::OP_POST_INC : Op::OP_PRE_INC) : (postfix ? Op::OP_POST_DEC : Op::OP_PRE_DEC)),
                pos);
        return p + 2;
    }
    if (p[1] >= '0' && p[1] <= '9' && (n_ == 0 || prev_is_operator())) {
        Value v;
        char* q = compile_number(p + 1, &v, plus ? 1 : -1);
        push_operand(v, pos);
        return q;
    }
    push_op(op(plus ? Op::OP_ADD : Op::OP_SUB), pos);
    return p + 1;
}

// `[` or `(` after an operand: an index or a call.
char* ListCompiler::bracket_after_operand(char* p, uint32_t pos) {
    bool call = *p == '(';
    char close_char = call ? ')' : ']';
    char* close = find_close(p + 1, close_char, *p);
    if (!close)
        compile_error(err::bracket_unclosed, call ? ")" : "]", p, excerpt(start_, 120));
    Value items[256];
    std::string leftover;
    unsigned n = compile_bracketed(p, close, items, 256, &leftover);
    if (!leftover.empty()) {
        compile_error(err::bracket_leftover, leftover.c_str(), p, excerpt(start_, 120));
    }
    if (call) {
        push_op(op(Op::OP_CALL), pos);
        push_operand(Value(make_argument_record(n, items).bits), pos);
    } else {
        if (n != 1) bad_token(start_);
        push_op(op(Op::OP_INDEX), pos);
        push_operand(items[0], pos);
    }
    return close + 1;
}

char* ListCompiler::group(char* p, uint32_t pos) {
    char* close = find_close(p + 1, ')', '(');
    if (!close) compile_error(err::bracket_unclosed, ")", p, excerpt(start_, 120));
    Value items[256];
    std::string leftover;
    unsigned n = compile_bracketed(p, close, items, 256, &leftover);
    if (!leftover.empty()) {
        compile_error(err::bracket_leftover, leftover.c_str(), p, excerpt(start_, 120));
    }
    push_operand(make_instruction(Op::OP_SEQUENCE, n, items, pos), pos);
    return close + 1;
}

// Arguments in brackets after a conversion or class name.  `p` is at '('.
char* ListCompiler::argument_list(char* p, const char* name_start, unsigned* count, Value* args, unsigned min,
                                  unsigned max, bool check) {
    char* close = find_close(p + 1, ')', '(');
    if (!close) compile_error(err::bracket_unclosed, ")", p, excerpt(start_, 120));
    std::string leftover;
    *count = compile_bracketed(p, close, args, 256, &leftover);
    if (!leftover.empty()) {
        compile_error(err::bracket_leftover, leftover.c_str(), p, excerpt(start_, 120));
    }
    if (check && (*count < min || *count > max)) compile_error(err::call_argument_count, excerpt(name_start, 100));
    return close + 1;
}

char* ListCompiler::conversion_call(char* p, uint32_t symbol, uint32_t pos, const char* name_start) {
    const ClassRule* rule = class_rule(symbol);
    char* q = skip_space(p);
    Value args[256];
    unsigned n = 0;
    if (*q == '(') {
        q = argument_list(q, name_start, &n, args, rule->min, rule->max, true);
    } else if (*q == '.') {
        bad_token(name_start);
    } else {
        if (rule->min > 0) compile_error(err::call_argument_count, excerpt(name_start, 100));
        q = p;
    }
    push_operand(make_instruction(rule->opcode, n, args, pos), pos);
    return q;
}

char* ListCompiler::new_expression(char* p, uint32_t pos) {
    const char* new_start = p - 3;
    char* q = skip_space(p);
    if (!is_name_start(*q)) bad_token(new_start);
    uint32_t cls = 0;
    uint32_t cls_pos = position_of(q);
    q = read_name(q, &cls);
    const ClassRule* rule = cls == SYM_Hash ? nullptr : class_rule(cls);
    char* r = skip_space(q);
    Value args[256];
    unsigned n = 0;
    if (*r == '.') bad_token(new_start);
    if (*r == '(') {
        q = argument_list(r, new_start, &n, args, rule ? rule->min : 0, rule ? rule->max : 256, rule != nullptr);
    } else if (rule && rule->min > 0) {
        compile_error(err::call_argument_count, excerpt(new_start, 100));
    }
    push_op(op(Op::OP_NEW), pos);
    push_operand(Value::symbol(cls), cls_pos);
    push_op(op(Op::OP_CALL), pos);
    push_operand(Value(make_argument_record(n, args).bits), pos);
    return q;
}

// A keyword construct, a name, or an error.
char* ListCompiler::word(char* p, uint32_t pos) {
    bool after_member = n_ > 0 && kind_[n_ - 1] == op(Op::OP_MEMBER);
    if (!after_member) {
        char* q = p;
        int k = keyword(&q);
        if (k >= 0) {
            Value v{};
            Nesting guard;
            q = statement_compiler(k)(q, &v, p, pos);
            push_operand(v, pos);
            return q;
        }
    }
    if (!is_name_start(*p)) bad_token(p);
    uint32_t s = 0;
    char* q = read_name(p, &s);
    if (is_conversion_name(s)) return conversion_call(q, s, pos, p);
    if (s == SYM_typeof) {
        push_op(op(Op::OP_TYPEOF), pos);
        return q;
    }
    if (s == SYM_instanceof) {
        push_op(op(Op::OP_INSTANCEOF), pos);
        char* r = skip_space(q);
        if (!is_name_start(*r)) bad_token(p);
        uint32_t cls = 0;
        uint32_t cls_pos = position_of(r);
        r = read_name(r, &cls);
        push_operand(Value::symbol(cls), cls_pos);
        return r;
    }
    if (s == SYM_new) return new_expression(q, pos);
    push_operand(Value::symbol(s), pos);
    return q;
}

// ---- reducers ---------------------------------------------------------------

int ListCompiler::left_operand(unsigned i) const {
    for (int j = static_cast<int>(i) - 1; j >= 0; --j) {
        if (kind_[j] > 30) return -1;
        if (value_[j] != kEmpty) return j;
    }
    return -1;
}

int ListCompiler::right_operand(unsigned i) const {
    for (unsigned j = i + 1; j < n_; ++j) {
        if (kind_[j] > 30) return -1;
        if (value_[j] != kEmpty) return static_cast<int>(j);
    }
    return -1;
}

void ListCompiler::reduce_binary(const uint8_t* set, unsigned count, bool rightmost, bool level0) {
    for (;;) {
        int found = -1;
        for (unsigned i = 0; i < n_; ++i) {
            if (std::memchr(set, kind_[i], count)) {
                found = static_cast<int>(i);
                if (!rightmost) break;
            }
        }
        if (found < 0) return;
        unsigned i = static_cast<unsigned>(found);
        int l = left_operand(i), r = right_operand(i);
        if (l < 0 || r < 0) fail();
        uint8_t code = kind_[i];
        if (level0 && code == op(Op::OP_CALL) && l > 0 && kind_[l - 1] == op(Op::OP_NEW)) {
            unsigned m = static_cast<unsigned>(l - 1);
            value_[m] = make_instruction(Op::OP_NEW, Value(value_[l]), Value(value_[r]), pos_[m]).bits;
            kind_[m] = kOperand;
            consume(static_cast<unsigned>(l));
        } else {
            value_[l] = make_instruction(static_cast<Op>(code), Value(value_[l]), Value(value_[r]), pos_[i]).bits;
        }
        consume(i);
        consume(static_cast<unsigned>(r));
    }
}

void ListCompiler::reduce_postfix(uint8_t code) {
    for (unsigned i = 0; i < n_; ++i) {
        if (kind_[i] != code) continue;
        int l = left_operand(i);
        if (l < 0) fail();
        value_[l] = make_instruction(static_cast<Op>(code), Value(value_[l]), pos_[i]).bits;
        consume(i);
    }
}

void ListCompiler::reduce_prefix(uint8_t code) {
    for (unsigned i = 0; i < n_; ++i) {
        if (kind_[i] != code) continue;
        int r = right_operand(i);
        if (r < 0) r = left_operand(i);  // two prefix operators in a row
        if (r < 0) fail();
        value_[r] = make_instruction(static_cast<Op>(code), Value(value_[r]), pos_[i]).bits;
        consume(i);
    }
}

// One opcode's chains: a op b op c ... becomes one n-ary cell.  A cell holds
// at most 254 operands; a longer chain continues in a cell whose first
// operand is the previous one, which folds in the same order.
void ListCompiler::reduce_chain(uint8_t code) {
    for (;;) {
        unsigned i = 0;
        while (i < n_ && kind_[i] != code) ++i;
        if (i == n_) return;
        int l = left_operand(i);
        if (l < 0) fail();
        Value operands[kMaxCellOperands];
        unsigned count = 0;
        operands[count++] = Value(value_[l]);
        unsigned at = i;
        while (count < kMaxCellOperands) {
            int r = right_operand(at);
            if (r < 0) fail();
            operands[count++] = Value(value_[r]);
            consume(at);
            consume(static_cast<unsigned>(r));
            unsigned next = static_cast<unsigned>(r) + 1;
            while (next < n_ && kind_[next] <= 30 && value_[next] == kEmpty) ++next;
            if (next >= n_ || kind_[next] != code) break;
            at = next;
        }
        value_[l] = make_instruction(static_cast<Op>(code), count, operands, pos_[i]).bits;
    }
}

void ListCompiler::reduce_conditional() {
    const uint8_t question = op(Op::OP_COND), colon = op(Op::OP_NOP_140);
    for (;;) {
        int q = -1;
        for (unsigned i = 0; i < n_; ++i)
            if (kind_[i] == question) q = static_cast<int>(i);
        if (q < 0) return;
        unsigned i = static_cast<unsigned>(q);
        int cond = left_operand(i), then = right_operand(i);
        if (cond < 0 || then < 0) fail();
        unsigned c = static_cast<unsigned>(then) + 1;
        while (c < n_ && kind_[c] <= 30 && value_[c] == kEmpty) ++c;
        if (c >= n_ || kind_[c] != colon) fail();
        int other = right_operand(c);
        if (other < 0) fail();
        Value operands[3] = {Value(value_[cond]), Value(value_[then]), Value(value_[other])};
        value_[cond] = make_instruction(Op::OP_COND, 3, operands, pos_[i]).bits;
        consume(i);
        consume(static_cast<unsigned>(then));
        consume(c);
        consume(static_cast<unsigned>(other));
    }
}

void ListCompiler::reduce() {
    static constexpr LevelOps kLevel[kLevels] = {
        level_ops(0),  level_ops(1),  level_ops(2),  level_ops(3),  level_ops(4),  level_ops(5),
        level_ops(6),  level_ops(7),  level_ops(8),  level_ops(9),  level_ops(10), level_ops(11),
        level_ops(12), level_ops(13), level_ops(14), level_ops(15), level_ops(16), level_ops(17),
    };
    // How each level reduces: left to right (member access, calls and
    // indexes first), postfix, prefix, right to left (** and assignments),
    // one chain per opcode, and the conditional.
    auto binary = [&](unsigned level, bool rightmost, bool level0) {
        reduce_binary(kLevel[level].ops, kLevel[level].count, rightmost, level0);
    };
    auto each = [&](unsigned level, void (ListCompiler::*reducer)(uint8_t)) {
        for (unsigned i = 0; i < kLevel[level].count; ++i) (this->*reducer)(kLevel[level].ops[i]);
    };
    if (levels_[0]) binary(0, false, true);
    if (levels_[2]) each(2, &ListCompiler::reduce_postfix);
    if (levels_[3]) each(3, &ListCompiler::reduce_prefix);
    if (levels_[4]) binary(4, true, false);
    if (levels_[5]) each(5, &ListCompiler::reduce_chain);
    if (levels_[6]) each(6, &ListCompiler::reduce_chain);
    if (levels_[7]) binary(7, false, false);
    if (levels_[8]) binary(8, false, false);
    if (levels_[9]) binary(9, false, false);
    for (unsigned level = 10; level <= 14; ++level)
        if (levels_[level]) each(level, &ListCompiler::reduce_chain);
    if (levels_[16]) reduce_conditional();
    if (levels_[17]) binary(17, true, false);
}

void ListCompiler::collect(Value* out, unsigned capacity, unsigned* count) {
    unsigned items = 0;
    for (unsigned i = 0; i < n_; ++i) {
        if (kind_[i] > 30) {
            if (kind_[i] != op(Op::OP_NOP_146)) fail();
            continue;
        }
        if (value_[i] == kEmpty) continue;
        if (value_mode_) {
            if (items < kMaxValues) out[items] = Value(value_[i]);
            if (items <= kMaxValues) ++items;
            continue;
        }
        if (items + 1 >= capacity) compile_error(err::too_many_items, excerpt(start_, 120));
        out[items++] = Value(value_[i]);
    }
    *count = items;
}

}  // namespace

char* compile_list_at(char* text, Value* out, unsigned capacity, unsigned* count) {
    ListCompiler lc(text, false);
    return lc.run(out, capacity, count);
}

char* compile_list(char* text, Value* out, unsigned capacity, unsigned* count) {
    char* end = compile_list_at(text, out, capacity, count);
    return *end == ';' ? end + 1 : end;
}

char* compile_value(char* text, Value* values, unsigned* count) {
    ListCompiler lc(text, true);
    return lc.run(values, kMaxValues + 1, count);
}

unsigned compile_bracketed(char* open, char* close, Value* out, unsigned capacity,
                           std::string* leftover) {
    char saved = *close;
    *close = '\0';
    unsigned n = 0;
    char* end = compile_list(open + 1, out, capacity, &n);
    end = skip_space(end);
    if (*end) *leftover = excerpt(end, 20);
    else leftover->clear();
    *close = saved;
    return n;
}

}  // namespace koru
