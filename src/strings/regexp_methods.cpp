// RegExp values as scripts see them: creation from literals and from
// RegExp(...) / new RegExp(...), the properties (lastIndex among them as an
// assignable place), and the methods exec, test and toString.
#include <string>
#include <string_view>

#include "builtins/method_table.h"
#include "compiler/literals.h"
#include "compiler/state.h"
#include "host/errors.h"
#include "interp/handlers.h"
#include "interp/evaluate.h"
#include "interp/methods.h"
#include "interp/opcodes.h"
#include "interp/support.h"
#include "interp/variables.h"
#include "runtime/symbols.h"
#include "strings/match_result.h"
#include "strings/method_args.h"
#include "strings/strings.h"

namespace koru {

namespace {

constexpr uint8_t kGlobal = 0x10, kIgnoreCase = 0x08, kMultiline = 0x04, kSticky = 0x20, kDotAll = 0x40;

}  // namespace

// ---- creation ---------------------------------------------------------------------

Value regexp_construct(const Value* args, uint32_t n) {
    Value pattern = n > 0 ? args[0] : kUndefinedValue;
    if (!is_string(pattern)) raise_runtime(err::regexp_pattern_not_text);
    std::string_view flags;
    if (n > 1) {
        if (!is_string(args[1])) raise_runtime(err::regexp_flags_not_text);
        flags = text_of(args[1]);
    }
    return regexp_create(text_of(pattern), flags, RaiseAs::Runtime);
}

// RegExp(pattern[, flags]) written as a call.

Value h_regexp(const InstrCell& c) {
    uint32_t n = c.operand_count();
    if (n > 2) n = 2;
    TempGuard pattern(n > 0 ? evaluate(operand(c, 0)) : kUndefinedValue);
    if (n > 1) pattern.hold_across(operand(c, 1));
    TempGuard flags(n > 1 ? evaluate(operand(c, 1)) : kUndefinedValue);
    Value args[2] = {pattern.get(), flags.get()};
    return regexp_construct(args, n);
}

// A literal in a module is compiled with the module: its pattern errors
// are parse errors.
Value regexp_literal(const char* pattern, const char* flags) {
    g_errors.compile_line = g_compiler.line;  // its report names the literal's line
    return regexp_create(pattern, flags, RaiseAs::Parse);
}

// ---- properties --------------------------------------------------------------------

namespace {

constexpr size_t kPropertyWidth = 12;
constexpr std::string_view kProperties =
    "flags       dotAll      global      ignoreCase  multiline   source      "
    "sticky      unicode     lastIndex   ";
static_assert(kProperties.size() == kPropertyWidth * 9);

// The flag letters in the order i, m, g, y, s.
std::string flag_letters(uint8_t flags) {
    static constexpr struct { uint8_t bit; char letter; } kOrder[] = {
        {kIgnoreCase, 'i'}, {kMultiline, 'm'}, {kGlobal, 'g'}, {kSticky, 'y'}, {kDotAll, 's'}};
    std::string out;
    for (auto f : kOrder)
        if (flags & f.bit) out += f.letter;
    return out;
}

Value flags_property(Value re) {
    std::string letters = flag_letters(regex_flags(re));
    return letters.empty() ? kNullValue : make_string(letters);
}

Value flag_property(Value re, uint8_t bit) { return Value::boolean(regex_flags(re) & bit); }

Value source_property(Value re) {
    std::string text;
    regex_to_text(re, text);
    return make_string(text);
}

Value last_index_property(Value re) {
    set_last_index_place(re);
    return make_int(static_cast<int32_t>(regex_last_index(re)));
}

}  // namespace

Value regexp_property(Value re, uint32_t name) {
    size_t at = kProperties.find(symbol_name(name));
    if (symbol_length(name) == 0 || at == std::string_view::npos) raise_runtime(err::regexp_property_bad);
    clear_place();
    switch (at / kPropertyWidth) {
    case 0: return flags_property(re);
    case 1: return flag_property(re, kDotAll);
    case 2: return flag_property(re, kGlobal);
    case 3: return flag_property(re, kIgnoreCase);
    case 4: return flag_property(re, kMultiline);
    case 5: return source_property(re);
    case 6: return flag_property(re, kSticky);
    case 7: return kTrueValue;
    default: return last_index_property(re);
    }
}

// ---- methods -----------------------------------------------------------------------

namespace {

struct Exec {
    bool found = false;
    Captures captures;
};

// One match as exec and test make it: from lastIndex under g or y, else
// from 0; no match resets lastIndex.
Exec run_exec(Value re, const Subject& subject) {
    uint8_t flags = regex_flags(re);
    bool advances = flags & (kGlobal | kSticky);
    Exec e;
    size_t start = advances ? regex_last_index(re) : 0;
    e.found = regex_exec(re, subject.matched(), start, e.captures);
    if (!e.found) regex_set_last_index(re, 0);
    else if (advances) regex_set_last_index(re, static_cast<uint32_t>(e.captures.end));
    return e;
}

Value exec_method(Value re, const Args& args) {
    Value input = args.at(0);
    if (!is_string(input)) raise_runtime(err::exec_not_text);
    Subject subject(text_of(input), regex_flags(re));
    Exec e = run_exec(re, subject);
    if (!e.found) return kNullValue;
    return match_result(re, subject.written(), e.captures, input);
}

Value test_method(Value re, const Args& args) {
    if (!is_string(args.at(0))) raise_runtime(err::test_not_text);
    Subject subject(text_of(args.at(0)), regex_flags(re));
    Exec e = run_exec(re, subject);
    if (e.found && e.captures.end > e.captures.start) return kTrueValue;
    regex_set_last_index(re, 0);
    return kFalseValue;
}

Value to_string_method(Value re, const Args&) {
    std::string text = "/";
    regex_to_text(re, text);
    text += '/';
    text += flag_letters(regex_flags(re));
    return make_string(text);
}

using RegExpMethod = Value (*)(Value re, const Args& args);

constexpr MethodRow<RegExpMethod> kRows[] = {
    {"exec", exactly(1), exec_method},
    {"test", exactly(1), test_method},
    {"toString", exactly(0), to_string_method},
};
constexpr auto kTable = method_table<10>(kRows, {err::regexp_method_unknown, CountErrors{err::regexp_argument_count, err::regexp_argument_count}});
static_assert(text_is(slot_text(kTable), "exec      test      toString  "));

bool regexp_family(Value self, uint32_t name, const Value* args, uint32_t n, Value* result) {
    int slot = kTable.slot(name);
    if (slot == kNoMethod) return false;
    check_arg_count(kTable[slot].rule, n, *kTable.errors.count);
    *result = kTable[slot].handler(self, Args{args, n});
    return true;
}

}  // namespace

void install_regexp_methods() {
    set_method_family(MethodFamily::RegExp, regexp_family, kTable.errors.unknown);
}

MethodListing regexp_method_listing() { return listing_of("RegExp", kTable); }

}  // namespace koru
