// Writing object images: a module compiled in a fresh process state, its
// cell and word pages, symbol table, global names and relocation lists, in
// the layout the loader reads (host/objfile.h).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "runtime/value.h"

namespace koru {

// The image of what the process holds now: every cell page and compile-area
// word page in use (they must be the module's alone, from page 0 on), the
// symbol table, `globals` and the relocations of everything reachable from
// `statements`.  Compiled code that holds something an image cannot carry
// (an area object) is a std::runtime_error.
std::vector<uint8_t> write_object_image(const std::vector<Value>& statements, const std::vector<uint32_t>& globals,
                                        bool compress);

// Compiles `text` as module 1 in a fresh process state and writes its image.
// Parse errors are raised as the compiler raises them.
std::vector<uint8_t> compile_object_image(const char* path, std::string text, bool compress);

// The coded form of a section stream (run marker, zero markers, code
// table); expand_object_stream gives the stream back byte for byte.
std::vector<uint8_t> compress_object_stream(const std::vector<uint8_t>& stream);

}  // namespace koru
