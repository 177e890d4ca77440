// Global allocation for a decode_stream whose receiver allocations can be
// made to fail: FAIL_ALLOCATIONS lists the numbers (from 1) of the
// non-throwing allocations that return null, separated by commas.

#include <cstdlib>

#include "tests/replaced_new.hh"

static bool refuse_allocation(bool nothrow)
{
	if (!nothrow) return false;
	static int count = 0;
	++count;
	const char *list = std::getenv("FAIL_ALLOCATIONS");
	for (char *end; list && *list; list = *end ? end + 1 : end)
		if (std::strtol(list, &end, 10) == count) return true;
	return false;
}
