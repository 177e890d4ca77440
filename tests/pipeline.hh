#pragma once

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "tests/program.hh"

// The command lines of the programs for one receiver variant, for tests
// that run transmitter, channel and receiver as a user does.
struct Programs
{
	int rate, mapping;

	std::string encode(const std::string &options) const
	{
		return std::string(ENCODE_STREAM) + " --rate " + std::to_string(rate) + " --mapping " +
		       std::to_string(mapping) + " " + options;
	}
	std::string channel(const std::string &options) const
	{
		return std::string(BURST_CHANNEL) + " --rate " + std::to_string(rate) + " " + options;
	}
	std::string decode(int selection = 0) const
	{
		return std::string(DECODE_STREAM) + " " + std::to_string(rate) + " " + std::to_string(mapping) + " " +
		       std::to_string(selection);
	}
};

inline const auto every_variant = testing::Values(Programs{8000, 2}, Programs{8000, 4}, Programs{8000, 8},
						  Programs{48000, 2}, Programs{48000, 4}, Programs{48000, 8});

inline std::string variant_name(const testing::TestParamInfo<Programs> &info)
{
	return std::to_string(info.param.rate) + "_" + std::to_string(info.param.mapping);
}

// The event lines a pipeline prints; it must succeed and end its output
// with a newline.
inline std::vector<std::string> events(const std::string &pipeline, const std::string &input = "")
{
	ProgramResult r = run_program(pipeline, input);
	EXPECT_EQ(r.status, 0) << pipeline << "\n" << r.err;
	EXPECT_TRUE(r.out.empty() || r.out.back() == '\n') << pipeline;
	std::vector<std::string> lines;
	std::istringstream out(r.out);
	for (std::string line; std::getline(out, line);) lines.push_back(line);
	return lines;
}
