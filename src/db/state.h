// Everything the database layer keeps for the process: the driver
// manager's library and its bound functions, the return code of the latest
// ODBC call, and the table of open connections.
#pragma once
#include <cstdint>

#include "db/odbc/odbc_types.h"
#include "runtime/value.h"

namespace koru {

constexpr unsigned kMaxConnections = 16;

struct DbState {
    struct OpenConnection {
        Value value;                      // the connection object (retained); undefined when free
        odbc::Handle env = nullptr;       // its handles, also kept here
        odbc::Handle dbc = nullptr;
    };
    void* library = nullptr;              // the driver manager, once loaded
    odbc::Functions fn;                   // its entry points, bound in table order
    odbc::SqlReturn last_rc = 0;          // the result of the latest ODBC call
    OpenConnection connections[kMaxConnections];
    unsigned connection_count = 0;

    // The library counts as loaded when SQLAllocHandle is bound.
    bool loaded() const { return fn.SQLAllocHandle != nullptr; }

    // Back to the state of a fresh process.  Open connections are rolled back
    // and closed first, so this runs while their objects still exist (before
    // the memory is reset).  The library stays mapped; it is bound again by
    // the next openDb.
    void reset();
};

}  // namespace koru

#include "host/engine.h"
