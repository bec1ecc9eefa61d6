// sendToFront and alertToFront: script values become s, A and H records.
// An array or hash inside a container travels as a record of its own,
// written before its parent, and the parent carries a "^A"/"^H" reference
// numbered from one process-wide counter.
#pragma once
#include <string_view>

#include "runtime/value.h"

namespace koru {

// Writes the record(s) for one value under a name: an s record for a scalar,
// an A or H record (with nested records first) for a container.
void send_value(std::string_view name, Value v);

// The alert record for undefined, a String or an Exception (error 1340 for
// anything else).
void send_alert(Value v);

}  // namespace koru
