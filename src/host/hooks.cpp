// The program's wiring of the calls that go upward (runtime/hooks.h): which
// layer answers each one.
#include "runtime/hooks.h"

#include "builtins/date/date.h"
#include "host/process.h"
#include "interp/evaluate.h"
#include "interp/intpath.h"
#include "interp/text_compiler.h"
#include "strings/regex/regex.h"
#include "strings/strings.h"

namespace koru {

void install_hooks() {
    Hooks& h = g_hooks;
    h = Hooks{};
    // A RegExp's blocks and text form belong to the pattern engine.
    h.regex_free = regex_free;
    h.regex_source = regex_to_text;
    // What the interpreter keeps about freed code.
    h.instruction_freed = int_path_instruction_freed;
    h.template_freed = template_code_forget;
    // The compiler hands pattern literals to the pattern engine.
    h.regex_literal = regexp_literal;
    // eval and templates compile with the statement-list compiler.
    h.compile_text = compile_text_statements;
    // The built-ins that construct and the RegExp properties.
    h.date_construct = date_construct;
    h.regexp_construct = regexp_construct;
    h.regexp_property = regexp_property;
    h.last_index_get = regex_last_index;
    h.last_index_set = regex_set_last_index;
    // The debugger's entries and the driver's (module paths, the console,
    // the loader, the record sink) stay null here: who runs the request
    // sets them.
}

}  // namespace koru
