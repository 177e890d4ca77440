#pragma once

#include <cstdio>
#include <string>

#include "tools/cli/command_line.hh"

// --log FILE: one JSON object per line, appended, each flushed as it is
// written, so that a program that ends in any way leaves whole lines. A
// write that fails is reported once and the station goes on.
class EventLog
{
public:
	explicit EventLog(const std::string &path) : path(path)
	{
		if (!path.empty() && !(file = std::fopen(path.c_str(), "a"))) fail(system_error(path));
	}
	~EventLog()
	{
		if (file) std::fclose(file);
	}
	EventLog(const EventLog &) = delete;
	EventLog &operator=(const EventLog &) = delete;

	void append(const std::string &json)
	{
		if (!file) return;
		bool written = std::fputs(json.c_str(), file) >= 0 && std::fputc('\n', file) != EOF && !std::fflush(file);
		if (!written && !failed) std::fprintf(stderr, "%s: %s\n", program_name, system_error(path).c_str());
		failed = !written;
	}

private:
	std::string path;
	std::FILE *file = nullptr;
	bool failed = false;
};
