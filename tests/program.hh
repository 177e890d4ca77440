#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

// Runs a shell command (a pipeline too) with the given bytes on standard input and collects
// its output, error text and exit status.
struct ProgramResult
{
	int status;
	std::string out, err;
};

inline std::string read_file(const std::string &path)
{
	std::ifstream in(path, std::ios::binary);
	return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void write_file(const std::string &path, const std::string &bytes)
{
	std::ofstream(path, std::ios::binary) << bytes;
}

// Signed 16-bit little-endian samples of the bytes; an odd last byte is left out.
template <typename T = short> std::vector<T> samples_of(const std::string &bytes)
{
	std::vector<T> x(bytes.size() / 2);
	for (size_t i = 0; i < x.size(); ++i) x[i] = int16_t(uint8_t(bytes[2 * i]) | uint8_t(bytes[2 * i + 1]) << 8);
	return x;
}

class TempDir
{
public:
	TempDir()
	{
		char name[] = "/tmp/burst_test_XXXXXX";
		path = mkdtemp(name);
	}
	~TempDir() { std::system(("rm -rf '" + path + "'").c_str()); }
	std::string file(const std::string &name) const { return path + "/" + name; }

private:
	std::string path;
};

// output: where standard output goes; by default it is collected.
inline ProgramResult run_program(const std::string &command, const std::string &input = "",
				 const std::string &output = "")
{
	TempDir dir;
	write_file(dir.file("in"), input);
	std::string line = "( " + command + " ) < " + dir.file("in") + " > " + (output.empty() ? dir.file("out") : output) +
			   " 2> " + dir.file("err");
	int status = std::system(line.c_str());
	return {WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status), read_file(dir.file("out")),
		read_file(dir.file("err"))};
}
