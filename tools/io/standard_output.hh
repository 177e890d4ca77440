#pragma once

#include <cstdio>

#include "tools/cli/command_line.hh"

// Standard output through stdio: a failed write or flush (a full disk, a
// closed pipe) ends the program with a message and status 1.
inline void write_output(const void *data, size_t size)
{
	if (size && std::fwrite(data, 1, size, stdout) != size) fail(system_error("standard output"));
}

inline void flush_output()
{
	if (std::fflush(stdout)) fail(system_error("standard output"));
}
