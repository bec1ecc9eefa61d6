#!/bin/bash
# Builds and runs the compile-speed benchmark against the release build.
set -e
cd "$(dirname "$0")/.."
make all >/dev/null
c++ -O2 -std=c++20 -Isrc bench/compile_speed.cpp build/libkorucore.a -ldl -o build/bench-compile
./build/bench-compile
