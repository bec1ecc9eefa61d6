// Compile speed: a generated 20,000-line module, compiled in-process, MB/s.
// Build: c++ -O2 -std=c++20 -Isrc bench/compile_speed.cpp build/libkorucore.a -ldl
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "compiler/module.h"
#include "compiler/state.h"
#include "host/errors.h"
#include "runtime/area.h"
#include "runtime/symbols.h"

int main() {
    using namespace koru;
    std::string text;
    for (int f = 0; f < 2000; ++f) {
        text += "function fn" + std::to_string(f) + "(a, b = 2) {\n";
        text += "  var total = 0, name = \"item\" + a; /* block */\n";
        text += "  for (var i = 0; i < b; i++) { total += i * a - b / 2; }\n";
        text += "  if (total > 10 && name != 'x') { total = [1, 2, {k: total}]; } else { total = -1; }\n";
        text += "  switch (a) { case 1: total++; break; default: total--; }\n";
        text += "  try { x = fn0(total, 3) ? 1 : 2; } catch (e) { return e.message; }\n";
        text += "  while (total < 100) total = total * 2; // line comment\n";
        text += "  o = { \"a\": a, b: b + 1, c: [a, b] };\n";
        text += "  return total;\n}\n";
    }
    symbols_seed();
    int runs = 5;
    double best = 1e9;
    for (int r = 0; r < runs; ++r) {
        memory_reset();
        g_symbols.reset();
        symbols_seed();
        g_compiler.reset();
        std::string copy = text;
        std::vector<Value> statements;
        auto t0 = std::chrono::steady_clock::now();
        try {
            compile_module("bench.js", copy.data(), statements);
        } catch (const Unwind&) {
            std::fprintf(stderr, "bench module failed to compile\n");
            return 1;
        }
        double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        if (s < best) best = s;
    }
    size_t lines = 0;
    for (char c : text) lines += c == '\n';
    std::printf("compile: %zu lines, %.2f MB, best of %d: %.3f s, %.1f MB/s\n", lines, text.size() / 1e6, runs, best,
                text.size() / 1e6 / best);
    return 0;
}
