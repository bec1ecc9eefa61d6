// The commands of koru-tool, one file each.  Each takes the arguments after
// its own name and returns the exit status.
#pragma once
#include <string>

int tool_dirsum(int argc, char** argv);
int tool_dump(int argc, char** argv);
int tool_objfile(int argc, char** argv);
int tool_debug(int argc, char** argv);

// The whole of a file for a command; false (after saying so on standard
// error) when it cannot be read.
bool read_input_file(const char* path, std::string& text);
