// The commands of koru-tool, one file each.  Each takes the arguments after
// its own name and returns the exit status.
#pragma once

int tool_dirsum(int argc, char** argv);
int tool_dump(int argc, char** argv);
int tool_objfile(int argc, char** argv);
