// The symbol table's look-up by text (symbols.cpp) keeps a hash of the
// names beside the sorted index.  A table put in place whole, from an
// object image, is searched through the sorted index alone until the next
// reset: its texts were not entered one by one.
#pragma once

namespace koru {

void symbols_replaced();

}  // namespace koru
