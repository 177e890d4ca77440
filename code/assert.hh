#pragma once

#include <cstdio>
#include <cstdlib>

// The receiver's invariants stop the program in every build type: a release
// build that ran past a broken invariant would print wrong events instead.
[[noreturn]] inline void assertion_failed(const char *expr, const char *file, int line, const char *func)
{
	std::fprintf(stderr, "%s:%d: %s: Assertion `%s' failed.\n", file, line, func, expr);
	std::fflush(stderr);
	std::abort();
}

#define ASSERT(expr) ((expr) ? void(0) : assertion_failed(#expr, __FILE__, __LINE__, __func__))
