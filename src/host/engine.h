// The engine: one object that owns the state of every subsystem.
//
// One process serves one request, so the state is process-wide; it is
// grouped here by subsystem, each part declared by its own subsystem
// (the allocators' books, the limits and the symbols in
// runtime/runtime_state.h, the interpreter's in interp/interp_state.h, the
// others in their subsystem's header) and reset by process_reset()
// (host/process.cpp), the one path back to the state of a fresh process.
//
// Code reaches its part through the names below, which are references
// into the engine bound at compile time: an access is a direct address, as
// if the part were a variable of its own.
//
// A subsystem header whose own inline code needs its part includes this
// header first; a header that only declares a part includes it last, so
// that whoever includes the header gets the name with it.
#pragma once

#include "compiler/state.h"
#include "db/front/records.h"
#include "db/state.h"
#include "host/config.h"
#include "host/errors.h"
#include "host/journal.h"
#include "host/modules.h"
#include "host/random.h"
#include "host/request.h"
#include "host/token.h"
#include "interp/interp_state.h"
#include "runtime/hooks.h"
#include "runtime/runtime_state.h"

namespace koru {

struct Engine {
    // values and memory
    LimitState limits;       // before the memory: the allocators count into it
    MemoryState memory;
    SymbolTable symbols;
    // compiler
    CompilerState compiler;
    // interpreter
    InterpState interp;
    GlobalTable globals;
    JumpStack jumps;
    // host: where errors are reported from, the response's counts, the
    // module table, the request, the configuration, the token, the
    // generator and the journal
    ErrorState errors;
    FrontState front;
    ModuleTable modules;
    RequestInfo request;
    Config config;
    TokenState token;
    RandomState random;
    JournalState journal;
    // the database layer: the driver manager and the open connections
    DbState db;
    // the calls that go upward (runtime/hooks.h)
    Hooks hooks;
};
extern Engine g_engine;

inline constinit LimitState& g_limits = g_engine.limits;
inline constinit volatile std::sig_atomic_t& g_limit_passed = g_engine.limits.passed;
inline constinit MemoryCount& g_memory_count = g_engine.limits.count;
inline constinit Memory*& g_mem = g_engine.memory.books;
inline constinit CellPages*& g_cells = g_engine.memory.cells;
inline constinit uint8_t**& g_cell_pages = g_engine.memory.cell_pages;
inline constinit AreaTables& g_area = g_engine.memory.area;
inline constinit uint32_t& g_memory_generation = g_engine.memory.generation;
inline constinit SymbolTable& g_symbols = g_engine.symbols;
inline constinit CompilerState& g_compiler = g_engine.compiler;
inline constinit InterpState& g_interp = g_engine.interp;
inline constinit GlobalTable& g_globals = g_engine.globals;
inline constinit JumpStack& g_jumps = g_engine.jumps;
inline constinit ErrorState& g_errors = g_engine.errors;
inline constinit FrontState& g_front = g_engine.front;
inline constinit ModuleTable& g_modules = g_engine.modules;
inline constinit RequestInfo& g_request = g_engine.request;
inline constinit Config& g_config = g_engine.config;
inline constinit TokenState& g_token = g_engine.token;
inline constinit RandomState& g_random = g_engine.random;
inline constinit DbState& g_db = g_engine.db;
inline constinit JournalState& g_journal = g_engine.journal;
inline constinit Hooks& g_hooks = g_engine.hooks;

}  // namespace koru
