// What every word of compiled code holds, for object images.
//
// Most words that hang off a cell are Values, and a Value says by its kind
// whether it names a symbol, a cell or nothing to relocate.  The exceptions
// are the words that the compiler stores raw: compile-area addresses of the
// small blocks some instructions use (argument records, `for` header lists,
// catch records, switch tables), plain numbers (counts, flags, indexes) and
// the class symbol of a Hash.  Those are listed here, once; the object-file
// writer builds its relocation lists from this walk and the loader checks a
// loaded image with the same walk.
#pragma once
#include <cstdint>
#include <vector>

#include "interp/opcodes.h"
#include "runtime/cell.h"
#include "runtime/value.h"

namespace koru {

// The roles of operand words (WordRole), the operand counts each opcode
// needs and the shapes with raw words come from the opcode table.

// The three kinds of word an image's relocation lists name.
enum class Reloc : uint8_t { Symbol, CellRef, AreaAddr };

// Where a word lives, in the loader's position format: a cell-page word is
// page * 65536 + word within the page, a word-page word is page * 1024 +
// word (its linear index in the compile area).
struct WordSite {
    bool in_cells;
    uint32_t position;
};

// The memory a walk reads.  The writer's view is the process's own compiled
// module; the loader's view accepts only what lies inside a freshly loaded
// image and raises for anything else.
class CompiledMemory {
public:
    virtual ~CompiledMemory() = default;
    // The cell a cell-kind Value refers to, or null for a cell that is known
    // good and is not walked (a permanent cell of the process, whose type is
    // the Value's kind).  Raises for a reference it cannot accept.  Called
    // once per cell: the walk sees to it that every other reference to the
    // cell has the same kind.
    virtual const Cell* cell(Value v) = 0;
    // `count` words of the compile area from `addr` on; raises when they do
    // not lie in the memory.
    virtual const uint32_t* words(AreaAddr addr, uint64_t count) = 0;
    // A symbol number that the memory cannot name raises.
    virtual void check_symbol(uint32_t number) = 0;
    virtual void relocate(WordSite site, Reloc kind) = 0;
    [[noreturn]] virtual void bad() = 0;
};

// Walks every cell reachable from `roots` once and reports each word that
// holds a symbol number, a cell reference or a compile-area address.
void walk_compiled(const std::vector<Value>& roots, CompiledMemory& memory);

}  // namespace koru
