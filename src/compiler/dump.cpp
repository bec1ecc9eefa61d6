#include "compiler/dump.h"

#include <cstdio>

#include "compiler/emit.h"
#include "compiler/module.h"
#include "host/errors.h"
#include "runtime/cell.h"
#include "runtime/objects.h"
#include "runtime/symbols.h"
#include "runtime/text.h"

namespace koru {

namespace {

constexpr unsigned kMaxDepth = 400;

class Writer {
public:
    explicit Writer(bool tree) : tree_(tree) {}
    std::string out;

    void value(Value v) {
        if (depth_ > kMaxDepth) {
            leaf("...");
            return;
        }
        ++depth_;
        dispatch(v);
        --depth_;
    }

private:
    bool tree_;
    unsigned depth_ = 0;
    unsigned indent_ = 0;
    bool first_ = true;

    void separator() {
        if (tree_) {
            if (!out.empty()) out += '\n';
            out.append(indent_ * 2, ' ');
        } else if (!first_) {
            out += ' ';
        }
        first_ = false;
    }
    void leaf(const std::string& text) {
        separator();
        out += text;
    }
    void open(const std::string& head) {
        separator();
        if (!tree_) out += '(';
        out += head;
        ++indent_;
    }
    void close() {
        --indent_;
        if (!tree_) out += ')';
    }

    static std::string position(uint32_t pos) {
        char buf[32];
        std::snprintf(buf, sizeof buf, " @%u:%u", pos & 0xFFFF, (pos >> 16) & 0x7FFF);
        return buf;
    }

    void dispatch(Value v);
    void words(const char* head, const uint32_t* w, uint32_t n) {
        open(head);
        for (uint32_t i = 0; i < n; ++i) value(Value(w[i]));
        close();
    }
    void instruction(Value v);
    void function(Value v);
};

std::string quoted(const char* text, uint32_t len, char q) {
    std::string s(1, q);
    for (uint32_t i = 0; i < len; ++i) {
        char c = text[i];
        if (c == '\n') s += "\\n";
        else if (c == '\r') s += "\\r";
        else if (c == '\t') s += "\\t";
        else s += c;
    }
    s += q;
    return s;
}

void Writer::dispatch(Value v) {
    char buf[64];
    switch (v.kind()) {
        case Kind::Immediate: {
            static const char* const kImm[] = {"undefined", "true", "false", "null", "NaN"};
            uint32_t n = v.payload();
            leaf(n <= kNaN ? kImm[n] : symbol_name(n));
            return;
        }
        case Kind::Int:
            leaf(std::to_string(int_value(v)));
            return;
        case Kind::Double:
            std::snprintf(buf, sizeof buf, "%.17gd", double_value(v));
            leaf(buf);
            return;
        case Kind::String: {
            bool tmpl = cell_as<StringCell>(v)->is_template();
            leaf(quoted(string_text(v), string_length(v), tmpl ? '`' : '"'));
            return;
        }
        case Kind::Array: {
            open("array");
            for (uint32_t i = 0; i < array_count(v); ++i) value(array_elements(v)[i]);
            close();
            return;
        }
        case Kind::Hash: {
            open("hash");
            for (uint32_t i = 0; i < hash_count(v); ++i) {
                const Pair& p = hash_pairs(v)[i];
                open(std::string(symbol_name(p.key.payload())) + ":");
                value(p.value);
                close();
            }
            close();
            return;
        }
        case Kind::Instruction:
            instruction(v);
            return;
        case Kind::Function:
            function(v);
            return;
        case Kind::RegExp: {
            std::string text;
            write_display(v, text, false);
            leaf(text);
            return;
        }
        default:
            std::snprintf(buf, sizeof buf, "<kind %u 0x%08x>", static_cast<unsigned>(v.kind()), v.bits);
            leaf(buf);
            return;
    }
}

void Writer::function(Value v) {
    const auto* f = cell_as<FunctionCell>(v);
    char head[64];
    std::snprintf(head, sizeof head, "function lines=%u-%u", f->line, f->compiler_word);
    open(head);
    const uint32_t* names = f->param_count + f->local_count ? area_as<uint32_t>(f->names) : nullptr;
    words("params", names, f->param_count);
    words("locals", names ? names + f->param_count : nullptr, f->local_count);
    value(Value(f->body));
    close();
}

void Writer::instruction(Value v) {
    const auto* c = cell_as<InstrCell>(v);
    Op code = static_cast<Op>(c->opcode);
    uint32_t n = c->operand_count();
    const uint32_t* ops = instr_operands(v);
    std::string head = op_name(c->opcode);
    if (tree_ && c->nops != InstrCell::kLargeCount) head += position(c->position);
    if (tree_ && c->stoppable()) head += " stop";
    open(head);
    switch (code) {
        case Op::OP_CALL:
        case Op::OP_NEW: {
            value(Value(ops[0]));
            const auto* rec = area_as<uint32_t>(AreaAddr{ops[1]});
            words("args", rec + 1, rec[0]);
            break;
        }
        case Op::OP_FOR: {
            const auto* parts = area_as<uint32_t>(AreaAddr{ops[0]});
            uint32_t ni = ops[1] >> 16, nu = ops[1] & 0xFFFF;
            words("init", parts, ni);
            value(Value(parts[ni]));
            words("update", parts + ni + 1, nu);
            value(Value(ops[2]));
            break;
        }
        case Op::OP_FOR_OF:
        case Op::OP_FOR_IN:
            value(Value(ops[0]));
            value(Value(ops[1]));
            value(Value(ops[2]));
            leaf("kind=" + std::to_string(ops[3]));
            break;
        case Op::OP_TRY:
            value(Value(ops[0]));
            if (ops[1]) {
                const auto* rec = area_as<uint32_t>(AreaAddr{ops[1]});
                words("catch", rec, 2);
            } else {
                leaf("no-catch");
            }
            if (n > 2) {
                open("finally");
                value(Value(ops[2]));
                close();
            }
            break;
        case Op::OP_SWITCH: {
            value(Value(ops[0]));
            const auto* table = area_as<uint32_t>(AreaAddr{ops[1]});
            const auto* list = area_as<uint32_t>(AreaAddr{ops[2]});
            for (uint32_t i = 2; i < table[0]; ++i) {
                open("case");
                value(Value(table[2 * i]));
                leaf("->" + std::to_string(table[2 * i + 1]));
                close();
            }
            if (ops[3]) leaf("default->" + std::to_string(table[3]));
            words("body", list, table[1]);
            break;
        }
        default:
            for (uint32_t i = 0; i < n; ++i) value(Value(ops[i]));
            break;
    }
    close();
}

}  // namespace

std::string dump_compact(Value v) {
    Writer w(false);
    w.value(v);
    return w.out;
}

std::string dump_tree(Value v) {
    Writer w(true);
    w.value(v);
    return w.out;
}

std::string compile_text_for_dump(const std::string& path, std::string text, std::vector<Value>& statements) {
    try {
        compile_module(path.c_str(), text.data(), statements);
    } catch (const Unwind& u) {
        ErrorView e = error_view(u.value);
        return std::string(e.message, e.message_len);
    }
    return "";
}

}  // namespace koru
