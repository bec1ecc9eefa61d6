// The calls a lower layer makes into a higher one, all in one structure.
//
// Values and the allocator know nothing of patterns or compiled code, the
// interpreter nothing of the built-ins that construct dates and RegExps, the
// request parser nothing of the module loader: each such call goes through
// an entry here. `install_hooks()` (host/hooks.cpp) fills in the program's
// wiring; the driver then sets the entries that belong to a running request
// (module paths, the console, the loader); a test sets what it observes.
// `process_reset()` installs the wiring again, so no test leaves an entry to
// the next. An entry the program leaves null has the default written beside
// it.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "runtime/value.h"

namespace koru {

// A RegExp is destroyed with the whole tree of its pattern blocks
// (null: only its head block goes).
using RegexFreeFn = void (*)(Value regexp);
// The source text of a RegExp for its text form.
using RegexSourceFn = void (*)(Value regexp, std::string& out);
// Told of an instruction cell about to be freed, so that what the
// interpreter keeps about it goes with it.
using InstructionFreedFn = void (*)(const void* cell);
// Told of a template string about to be freed, so that the code compiled
// for its substitutions goes with it.
using TemplateFreedFn = void (*)(Value str);
// A compiler for pattern literals (null: a literal compiles to an OP_REGEXP
// cell with the pattern and flag texts, the same as RegExp(pattern, flags)).
using RegexLiteralFn = Value (*)(const char* pattern, const char* flags);
// Compiles script text with the statement-list compiler and appends the
// statement cells to `out`. The cells come back unretained (count 0); the
// caller retains them while it runs them and releases them afterwards.
// `no_stops` makes every cell a non-stopping point.
using CompileTextFn = void (*)(const char* text, size_t len, bool no_stops, std::vector<Value>& out);
// Constructors that live with their built-ins: Date(...) and new Date(...),
// new RegExp(...) (null: the call raises the family's error).
using ConstructFn = Value (*)(const Value* args, uint32_t n);
// A property of a RegExp by symbol number: the value of source, flags,
// global, ...; for lastIndex the place; 5080 for an unknown name.
using RegExpPropertyFn = Value (*)(Value regexp, uint32_t name_symbol);
// The debugger's look at each instruction before it runs.
using DebugStepFn = void (*)(Value instr);
// A console line, or an error report in "-e" mode or for a debugger.
using ConsoleFn = void (*)(const char* text, size_t len);
using DebugPrintFn = void (*)(const char* text, size_t len);
// Where the record stream goes.
using RecordSink = void (*)(const char* bytes, size_t len);
// How a fatal start-up error ends the process.
using FatalExitHook = void (*)(const std::string& message);
// Path text of a module number ("" when none).
using ModulePathFn = const char* (*)(unsigned module);
// Called before the first variable binding of the request, so that modules
// (and an object module's symbol table) are in place before names are entered.
using LoadModulesFn = void (*)();
// Called for an 'l' record with the decoded journal file name.
using JournalNameFn = void (*)(const std::string& name);

struct Hooks {
    // values and memory -> the pattern engine and the interpreter's caches
    RegexFreeFn regex_free = nullptr;
    RegexSourceFn regex_source = nullptr;
    InstructionFreedFn instruction_freed = nullptr;
    TemplateFreedFn template_freed = nullptr;
    // compiler -> the pattern engine
    RegexLiteralFn regex_literal = nullptr;
    // interpreter -> the compiler (eval, templates) and the built-ins
    CompileTextFn compile_text = nullptr;
    ConstructFn date_construct = nullptr;
    ConstructFn regexp_construct = nullptr;
    RegExpPropertyFn regexp_property = nullptr;
    // The lastIndex field of a RegExp as a place: read and written through
    // the pattern engine (its blocks are only 2-byte aligned, so the place
    // keeps the RegExp rather than a pointer into it).
    uint32_t (*last_index_get)(Value regexp) = nullptr;
    void (*last_index_set)(Value regexp, uint32_t index) = nullptr;
    // interpreter -> the debugger (null in the production build)
    DebugStepFn debug_step = nullptr;
    void (*call_enter)(Value fn, uint32_t name) = nullptr;
    void (*call_exit)() = nullptr;
    ConsoleFn console = nullptr;  // null: the line goes only where console output goes
    // errors and records -> the driver
    RecordSink record_sink = nullptr;          // null: standard output, flushed after every record
    FatalExitHook fatal_exit = nullptr;        // null: write the journal and exit(0)
    ModulePathFn module_path = nullptr;        // null: reports name no module
    DebugPrintFn debug_print = nullptr;        // null: reports are not printed
    // the request parser -> the driver
    LoadModulesFn load_modules = nullptr;      // null: nothing to load
    JournalNameFn journal_name = nullptr;      // null: the name is ignored
};

}  // namespace koru
