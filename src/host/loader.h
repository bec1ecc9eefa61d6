// Loading the modules of the module table, once per request, in table order.
#pragma once

namespace koru {

// Compiles each source module and maps each object module into new pages,
// appending their top-level statements to the module table's statement
// list.  Runs at most once per request.
void load_modules();

}  // namespace koru
