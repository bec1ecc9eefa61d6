// The debugger's hooks: the link's entries for the driver and the loader
// (attach, module request, end), and the interpreter's (each instruction,
// call entry and exit, console lines, debug prints).  The interpreter's
// entries are set only while the link is up.
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

#include "compiler/module.h"
#include "compiler/state.h"
#include "debug/debugger.h"
#include "debug/lists.h"
#include "debug/link.h"
#include "debug/state.h"
#include "host/config.h"
#include "host/errors.h"
#include "host/modules.h"
#include "host/objfile.h"
#include "interp/evaluate.h"
#include "interp/interp.h"
#include "interp/jumps.h"
#include "interp/state.h"
#include "runtime/area.h"
#include "runtime/cell.h"
#include "runtime/objects.h"
#include "runtime/refcount.h"
#include "runtime/symbols.h"
#include "runtime/text.h"

namespace koru {

DebugState g_debugger;

namespace {

// Texts of the front end's own messages, in Shift_JIS.
constexpr char kResultTooLong[] = "\x95" "\x5D" "\x89" "\xBF" "\x8C" "\x8B" "\x89" "\xCA" "\x82" "\xCC" "\x95" "\xB6" "\x8E" "\x9A" "\x97" "\xF1" "\x82" "\xAA" "\x92" "\xB7" "\x82" "\xB7" "\x82" "\xAC" "\x82" "\xDC" "\x82" "\xB7" "\x81" "\x42";  // 評価結果の文字列が長すぎます。
constexpr char kFormatBadOpen[] = "\x8E" "\xAE" "\x82" "\xCC" "\x83" "\x74" "\x83" "\x48" "\x81" "\x5B" "\x83" "\x7D" "\x83" "\x62" "\x83" "\x67" "\x95" "\x73" "\x90" "\xB3" "\x28";  // 式のフォーマット不正(
constexpr char kNoSuchCall[] = "\x8C" "\xC4" "\x82" "\xD1" "\x8F" "\x6F" "\x82" "\xB5" "\x97" "\x9A" "\x97" "\xF0" "\x82" "\xCC" "\x8E" "\x77" "\x92" "\xE8" "\x95" "\x73" "\x90" "\xB3";  // 呼び出し履歴の指定不正
constexpr size_t kMaxResultText = 16364;
constexpr size_t kMaxPrint = 12267;

void pause_ms(int ms) {
    timespec t{ms / 1000, (ms % 1000) * 1000000L};
    while (nanosleep(&t, &t) != 0) {
    }
}

// At most n bytes of s, cut at a whole UTF-8 character.
std::string_view cut_text(std::string_view s, size_t n) {
    if (s.size() <= n) return s;
    while (n > 0 && (static_cast<uint8_t>(s[n]) & 0xC0) == 0x80) --n;
    return s.substr(0, n);
}

// A message of one letter and a text, built by appending (GCC 12 at -O3
// mistakes a letter prepended to a temporary string for an overlapping copy).
std::string tagged(char letter, std::string_view text) {
    std::string message(1, letter);
    message.append(text);
    return message;
}

// ---- running debugger text ------------------------------------------------------------

// While the debugger compiles or evaluates its own text: errors unwind to
// it (the debug-eval target), the debug-eval table refuses what changes
// control, and nothing stops.
class DebugEvalScope {
public:
    DebugEvalScope()
        : eval_(g_errors.debug_eval), compile_(g_compiler.debug_eval), module_(g_errors.module),
          position_(g_errors.position), place_(g_interp.place), place_const_(g_interp.place_const),
          place_name_(g_interp.place_name), place_mode_(g_interp.place_mode) {
        g_errors.debug_eval = true;
        g_compiler.debug_eval = true;
    }
    ~DebugEvalScope() {
        g_errors.debug_eval = eval_;
        g_compiler.debug_eval = compile_;
        g_errors.module = module_;
        g_errors.position = position_;
        g_interp.place = place_;
        g_interp.place_const = place_const_;
        g_interp.place_name = place_name_;
        g_interp.place_mode = place_mode_;
    }
    DebugEvalScope(const DebugEvalScope&) = delete;
    DebugEvalScope& operator=(const DebugEvalScope&) = delete;

private:
    bool eval_, compile_;
    uint8_t module_;
    uint32_t position_;
    Place place_;
    bool place_const_;
    uint32_t place_name_;
    bool place_mode_;
};

// The "#" message of an evaluation that failed with `carried`.
std::string failure_message(const char* what, Value carried) {
    std::string m = "#";
    m += what;
    if (carried.kind() == Kind::Exception) {
        ErrorView e = error_view(carried);
        m += " ERROR: CODE=";
        m.append(e.code, e.code_len);
        m += ", MESSAGE='";
        m.append(e.message, e.message_len);
        m += "'";
    } else if (carried.kind() == Kind::String) {
        m += " ERROR: MESSAGE='";
        m += string_view_of(carried);
        m += "'";
    } else {
        m += " ERROR";
    }
    return m;
}

bool is_parse_report(Value carried) {
    if (carried.kind() != Kind::Exception) return false;
    ErrorView e = error_view(carried);
    return std::string_view(e.message, e.message_len).starts_with("PARSE ERROR");
}

// Catches what the debugger's own text raises.  An unwind meant for
// another point (a request's limit) goes on.
template <typename F>
bool run_guarded(F&& body, Value& carried) {
    try {
        body();
        return true;
    } catch (const Unwind& u) {
        if (u.target != kDebugEvalTarget) throw;
        carried = u.value;
        return false;
    }
}

}  // namespace

// Compiles debugger text as statements, for `module` at `line`; the cells
// come back retained.  False (and a reason in `carried`) when it does not
// compile.
bool compile_debug_text(std::string_view text, unsigned module, uint32_t line, std::vector<Value>& cells,
                        Value& carried) {
    DebugEvalScope scope;
    g_errors.module = static_cast<uint8_t>(module);
    g_errors.position = line;
    // A compile error names the module the text is for.
    const char* path = g_errors.compile_path;
    uint32_t compile_line = g_errors.compile_line;
    g_errors.compile_path = module_path(module);
    std::vector<Value> out;
    bool ok = run_guarded([&] { g_hooks.compile_text(text.data(), text.size(), true, out); }, carried);
    g_errors.compile_path = path;
    g_errors.compile_line = compile_line;
    if (!ok) return false;
    for (Value v : out) cells.push_back(value_retain(v));
    return true;
}

namespace {

// Runs compiled debugger statements; the last value as text in `text`, or
// the failure.
bool run_debug_cells(const std::vector<Value>& cells, std::string& text, Value& carried, bool* truth = nullptr) {
    DebugEvalScope scope;
    return run_guarded(
        [&] {
            Value last = kUndefinedValue;
            for (Value c : cells) {
                value_drop_temp(last);
                last = run_statement(c);
            }
            if (truth) *truth = value_truthy(last);
            text.clear();
            write_plain(last, text);
            value_drop_temp(last);
        },
        carried);
}

// ---- call records ---------------------------------------------------------------

uint32_t param_symbol(uint32_t word) {
    Value w(word);
    if (w.kind() == Kind::Instruction) return Value(cell_as<InstrCell>(w)->op0).payload();
    return w.payload();
}

// The last line of a function: the line of its body's last statement.
uint32_t last_line(const FunctionCell& f) {
    uint32_t last = f.line;
    Value body(f.body);
    if (body.kind() != Kind::Instruction) return last;
    const InstrCell& b = *cell_as<InstrCell>(body);
    if (b.nops != InstrCell::kLargeCount) last = std::max(last, b.position & 0xFFFF);
    uint32_t n = b.operand_count();
    const uint32_t* ops = operands(b);
    for (uint32_t i = 0; i < n; ++i) {
        Value s(ops[i]);
        if (s.kind() != Kind::Instruction) continue;
        const InstrCell& c = *cell_as<InstrCell>(s);
        if (c.nops != InstrCell::kLargeCount) last = std::max(last, c.position & 0xFFFF);
    }
    return last;
}

const Trace* trace_of(const FunctionCell& f) {
    unsigned m = f.module & 0x7F;
    if (g_debugger.traces[m].empty()) return nullptr;
    uint32_t last = last_line(f);
    for (const Trace& t : g_debugger.traces[m])
        if (t.line >= f.line && t.line <= last) return &t;
    return nullptr;
}

std::string plain_text(Value v) {
    std::string out;
    Value carried;
    DebugEvalScope scope;
    if (!run_guarded([&] { write_plain(v, out); }, carried)) out.assign(1, '?');
    return out;
}

// The "A" message of a traced call, once its parameters are on the stack.
void announce(CallRecord& r) {
    const FunctionCell& f = *cell_as<FunctionCell>(r.fn);
    uint32_t pc = f.param_count;
    if (g_interp.top() < r.enter_top + pc) return;
    r.announce = false;
    const auto* names = static_cast<const uint32_t*>(area_ptr(f.names));
    std::string m = "A" + r.trace->label + "(";
    for (uint32_t i = 0; i < pc; ++i) {
        m += i ? ", " : " ";
        m += symbol_name(param_symbol(names[i]));
        m += "=";
        m += plain_text(g_interp.locals[r.enter_top + 1 + i].value);
    }
    m += " )";
    link_send_quiet(m);
}

void on_call_enter(Value fn, uint32_t name) {
    DebugState& d = g_debugger;
    InterpState& s = g_interp;
    if (!d.calls.empty()) {
        CallRecord& caller = d.calls.back();
        caller.top = s.top();
        caller.frame_base = s.frame_base;
        caller.block_base = s.block_base;
        caller.scope_depth = s.scope_depth;
        caller.param_count = s.param_count;
        caller.local_count = s.local_count;
    }
    const FunctionCell& f = *cell_as<FunctionCell>(fn);
    CallRecord r;
    r.module = f.module & 0x7F;
    r.line = f.line;
    r.column = 0;
    r.name = name ? symbol_name(name) : "";
    r.id = d.next_call_id++;
    r.stepping_at_entry = d.stepping;
    r.enter_top = s.top();
    r.fn = fn;
    r.trace = trace_of(f);
    r.announce = r.trace != nullptr;
    // Stepping over a call: the steps inside it are not the caller's.
    if (d.stepping && !d.step_into) d.stepping = false;
    d.calls.push_back(std::move(r));
}

void on_call_exit(Value result) {
    DebugState& d = g_debugger;
    if (d.calls.empty()) return;
    CallRecord r = std::move(d.calls.back());
    d.calls.pop_back();
    if (!d.run && !d.stepping) d.stepping = r.stepping_at_entry;
    if (d.step_out && r.id == d.step_out_id) {
        d.stepping = true;
        d.step_out = false;
    }
    if (!r.trace) return;
    // Runs in a frame's destructor: nothing may leave it.
    try {
        if (r.announce) link_send_quiet("A" + r.trace->label + "( )");
        link_send_quiet("R" + r.trace->label + "( " + plain_text(result) + " )");
    } catch (...) {
    }
}

// ---- the stop loop ---------------------------------------------------------------

// The path of a module as the front end names it: "\" read as "/".
std::string slashed(std::string_view path) {
    std::string p(path);
    for (char& c : p)
        if (c == '\\') c = '/';
    return p;
}

// The module number of a path the front end names; 0 when it is not in
// the table.
unsigned module_named(std::string_view path) {
    std::string want = slashed(path);
    for (unsigned i = 0; i < g_modules.size() && i + 1 < kDebugModules; ++i)
        if (slashed(g_modules.entries[i].path) == want) return i + 1;
    return 0;
}

std::string call_stack_message() {
    std::string m = "S";
    for (size_t i = 0; i < g_debugger.calls.size(); ++i) {
        const CallRecord& r = g_debugger.calls[i];
        if (i) m += ";";
        m += module_path(r.module);
        m += ":" + r.name + ":" + std::to_string(r.line) + ":" + std::to_string(r.column);
    }
    return m;
}

// The variables of a call that is not the innermost: the slots of the
// calls inside it are set aside while the debugger looks, so a name finds
// that call's variable.
class ScopeSwitch {
public:
    explicit ScopeSwitch(const CallRecord* r) : r_(r) {
        if (!r_) return;
        InterpState& s = g_interp;
        frame_base_ = s.frame_base;
        block_base_ = s.block_base;
        scope_depth_ = s.scope_depth;
        param_count_ = s.param_count;
        local_count_ = s.local_count;
        set_locals_aside(r_->top, aside_);
        s.frame_base = r_->frame_base;
        s.block_base = r_->block_base;
        s.scope_depth = r_->scope_depth;
        s.param_count = r_->param_count;
        s.local_count = r_->local_count;
    }
    ~ScopeSwitch() {
        if (!r_) return;
        InterpState& s = g_interp;
        pop_locals(r_->top);
        put_locals_back(aside_);
        s.frame_base = frame_base_;
        s.block_base = block_base_;
        s.scope_depth = scope_depth_;
        s.param_count = param_count_;
        s.local_count = local_count_;
    }
    ScopeSwitch(const ScopeSwitch&) = delete;
    ScopeSwitch& operator=(const ScopeSwitch&) = delete;

private:
    const CallRecord* r_;
    std::vector<VarSlot> aside_;
    uint32_t frame_base_ = 0, block_base_ = 0, scope_depth_ = 0, param_count_ = 0, local_count_ = 0;
};

// "E" + module ":" function ":" line ":" ... ";" expression: evaluated in
// the innermost call of that function, or in the one at that line and
// column if the call stack names several.
std::string evaluate_request(std::string_view req) {
    size_t semi = req.find(';');
    size_t c1 = req.find(':');
    size_t c2 = c1 == std::string_view::npos ? c1 : req.find(':', c1 + 1);
    if (semi == std::string_view::npos || c2 == std::string_view::npos || c2 > semi)
        return std::string("#") + kFormatBadOpen + std::string(cut_text(req, 100)) + ")";
    std::string module = slashed(req.substr(0, c1));
    std::string_view function = req.substr(c1 + 1, c2 - c1 - 1);
    std::string_view expr = req.substr(semi + 1);
    // The line and column, when given as the call stack told them, pick
    // one of several calls of the same function.
    std::string_view place = req.substr(c2 + 1, semi - c2 - 1);
    std::vector<CallRecord>& calls = g_debugger.calls;
    size_t found = calls.size();
    for (int exact = 1; exact >= 0 && found == calls.size(); --exact) {
        for (size_t i = calls.size(); i-- > 0;) {
            const CallRecord& r = calls[i];
            if (r.name != function || slashed(module_path(r.module)) != module) continue;
            if (exact && place != std::to_string(r.line) + ":" + std::to_string(r.column)) continue;
            found = i;
            break;
        }
    }
    if (found == calls.size()) return std::string("#") + kNoSuchCall;
    const CallRecord& r = calls[found];
    ScopeSwitch scope(found + 1 == calls.size() ? nullptr : &r);
    std::vector<Value> cells;
    Value carried;
    if (!compile_debug_text(expr, r.module, r.line, cells, carried)) return failure_message("PARSE", carried);
    std::string text;
    bool ok = run_debug_cells(cells, text, carried);
    for (Value c : cells) value_release(c);
    if (!ok) return failure_message(is_parse_report(carried) ? "PARSE" : "EVAL", carried);
    if (text.size() > kMaxResultText) return std::string("#ERROR: ") + kResultTooLong;
    return "=" + text;
}

// "B", "b" or "T" + module ":" list: the module's list replaced.
void replace_list(char which, std::string_view rest) {
    size_t colon = rest.find(':');
    if (colon == std::string_view::npos) return;
    unsigned m = module_named(rest.substr(0, colon));
    if (!m) return;
    std::string_view list = rest.substr(colon + 1);
    if (which == 'B') parse_breakpoints(list, g_debugger.breaks[m]);
    else if (which == 'b') parse_conditions(list, m, g_debugger.conditions[m]);
    else parse_traces(list, g_debugger.traces[m]);
}

class Busy {
public:
    Busy() { g_debugger.busy = true; }
    ~Busy() { g_debugger.busy = false; }
    Busy(const Busy&) = delete;
    Busy& operator=(const Busy&) = delete;
};

// Tells the front end where the program stands and serves its requests
// until a stepping command; returns the command's character.
char stop_loop(unsigned module, uint32_t position) {
    Busy busy;
    uint32_t line = position & 0xFFFF, column = position >> 16;
    if (!g_debugger.calls.empty()) {
        CallRecord& r = g_debugger.calls.back();
        r.module = static_cast<uint8_t>(module);
        r.line = line;
        r.column = column;
    }
    link_send(call_stack_message());
    pause_ms(2);
    std::string where = tagged('B', module_path(module));
    where.append(":").append(std::to_string(column)).append(":").append(std::to_string(line));
    link_send(where);
    for (;;) {
        std::string m = link_receive(kStoppedLimitMs);
        if (m.size() == 5 && m.starts_with("STEP")) return m[4];
        switch (m[0]) {
        case 'B':
        case 'b':
        case 'T':
            replace_list(m[0], std::string_view(m).substr(1));
            break;
        case 'E':
            link_send(evaluate_request(std::string_view(m).substr(1)));
            break;
        default:
            break;  // anything else is ignored
        }
    }
}

bool has_line(const std::vector<uint16_t>& lines, uint32_t line) {
    for (uint16_t l : lines)
        if (l == line) return true;
    return false;
}

// A condition on the line: true when it holds; an error is reported and
// counts as false.
bool condition_holds(unsigned module, uint32_t line) {
    for (const Condition& c : g_debugger.conditions[module]) {
        if (c.line != line || line == 0) continue;
        Busy busy;
        std::string text;
        Value carried;
        bool truth = false;
        if (run_debug_cells(c.cells, text, carried, &truth)) return truth;
        link_send_quiet(failure_message("EVAL", carried));
        return false;
    }
    return false;
}

void on_step(Value instr) {
    DebugState& d = g_debugger;
    if (d.busy || !link_up()) return;
    if (!d.calls.empty() && d.calls.back().announce) announce(d.calls.back());
    const InstrCell& c = *cell_as<InstrCell>(instr);
    if (!c.stoppable() || !link_up()) return;
    unsigned module = c.module_number();
    uint32_t position = c.position & 0x7FFFFFFF;
    uint32_t line = position & 0xFFFF;
    if (!d.stepping) {
        if (!has_line(d.breaks[module], line) && !condition_holds(module, line)) return;
        d.stepping = true;
        d.run = false;
    }
    char command;
    try {
        command = stop_loop(module, position);
    } catch (const LinkFailure&) {
        raise_runtime(err::debug_link_failed);
    }
    switch (command) {
    case '0':
        link_send_quiet("X");
        link_close();
        raise_to_host(err::debug_ended);
    case '1':
        d.stepping = d.step_into = d.step_out = false;
        d.run = true;
        break;
    case '2':
        d.step_into = true;
        d.step_out = false;
        break;
    case '3':
        d.step_into = d.step_out = false;
        break;
    case '4':
        d.step_out_id = d.calls.empty() ? 0 : d.calls.back().id;
        d.stepping = d.step_into = false;
        d.step_out = !d.calls.empty();
        break;
    default:
        break;
    }
}

void on_console(const char* text, size_t len) {
    std::string_view line(text, len);
    if (line.ends_with('\n')) line.remove_suffix(1);
    link_send_quiet(tagged('A', line));
}

void on_debug_print(const char* text, size_t len) {
    link_send_quiet(tagged('D', cut_text(std::string_view(text, len), kMaxPrint)));
}

// ---- the link's entries ------------------------------------------------------------

void on_attach(const char* client_address) {
    if (!link_connect(client_address, g_config.debug_port.c_str())) {
        g_config.debug_port.clear();
        g_debugger.closed = true;
        return;
    }
    // The lists start empty for every module.
    for (unsigned m = 0; m < kDebugModules; ++m) {
        g_debugger.breaks[m].clear();
        g_debugger.conditions[m].clear();
        g_debugger.traces[m].clear();
    }
    g_hooks.debug_step = on_step;
    g_hooks.call_enter = on_call_enter;
    g_hooks.call_exit = on_call_exit;
    g_hooks.console = on_console;
    g_hooks.debug_print = on_debug_print;
}

// Standard Base64, "=" ends it; line ends are skipped.  False for any
// other character.
bool decode_base64(std::string_view text, std::vector<uint8_t>& out) {
    uint32_t acc = 0;
    int bits = 0;
    out.reserve(text.size() / 4 * 3 + 3);
    for (char ch : text) {
        int v;
        if (ch >= 'A' && ch <= 'Z') v = ch - 'A';
        else if (ch >= 'a' && ch <= 'z') v = ch - 'a' + 26;
        else if (ch >= '0' && ch <= '9') v = ch - '0' + 52;
        else if (ch == '+') v = 62;
        else if (ch == '/') v = 63;
        else if (ch == '=') break;
        else if (ch == '\r' || ch == '\n') continue;
        else return false;
        acc = (acc << 6) | static_cast<uint32_t>(v);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out.push_back(static_cast<uint8_t>(acc >> bits));
        }
    }
    return true;
}

bool on_module_request(unsigned number) {
    if (!link_up() || number == 0 || number > g_modules.size() || number >= kDebugModules) return false;
    const std::string path = g_modules.entries[number - 1].path;
    std::string text, lists;
    try {
        link_send("M" + path);
        text = link_receive(kModuleLimitMs);
        lists = link_receive(kModuleLimitMs);
    } catch (const LinkFailure&) {
        return false;  // read from disk, without the debugger
    }
    if (lists != "&&&&") store_module_lists(number, lists);
    if (text == "&&&&" || lists == "&&&&") return false;
    if (text[0] == 'o') {
        std::vector<uint8_t> image;
        if (!decode_base64(std::string_view(text).substr(1), image)) {
            link_close();  // a message that does not parse
            return false;
        }
        g_errors.compile_path = module_path(number);
        g_errors.compile_line = 1;
        g_errors.module = static_cast<uint8_t>(number);
        load_object_image(image.data(), image.size(), number, module_path(number), g_modules.statements);
        return true;
    }
    std::string source = text.substr(1);
    g_compiler.module = static_cast<uint8_t>(number);
    g_compiler.line = 1;
    compile_module(module_path(number), source.data(), g_modules.statements);
    return true;
}

void on_end() {
    if (!link_up()) return;
    link_send_quiet("X");
    link_close();
}

}  // namespace

void debugger_detach() {
    g_hooks.debug_step = nullptr;
    g_hooks.call_enter = nullptr;
    g_hooks.call_exit = nullptr;
    g_hooks.console = nullptr;
    g_hooks.debug_print = nullptr;
    g_config.debug_port.clear();
    g_debugger.calls.clear();
    g_debugger.stepping = g_debugger.step_into = g_debugger.step_out = false;
}

void debugger_wire() {
    g_hooks.debug_attach = on_attach;
    g_hooks.module_request = on_module_request;
    g_hooks.debug_end = on_end;
}

}  // namespace koru
