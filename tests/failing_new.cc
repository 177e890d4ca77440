// Global allocation for a decode_stream whose receiver allocations can be
// made to fail: FAIL_ALLOCATIONS lists the numbers (from 1) of the
// non-throwing allocations that return null, separated by commas.

#include <cstddef>
#include <cstdlib>
#include <new>

static bool should_fail()
{
	static int count = 0;
	++count;
	const char *list = std::getenv("FAIL_ALLOCATIONS");
	for (char *end; list && *list; list = *end ? end + 1 : end)
		if (std::strtol(list, &end, 10) == count) return true;
	return false;
}

static void *allocate(std::size_t size, std::size_t align)
{
	size = (size + align - 1) / align * align;
	return std::aligned_alloc(align, size ? size : align);
}

void *operator new(std::size_t size)
{
	if (void *p = allocate(size, alignof(std::max_align_t))) return p;
	throw std::bad_alloc();
}
void *operator new(std::size_t size, std::align_val_t align)
{
	if (void *p = allocate(size, std::size_t(align))) return p;
	throw std::bad_alloc();
}
void *operator new(std::size_t size, const std::nothrow_t &) noexcept
{
	return should_fail() ? nullptr : allocate(size, alignof(std::max_align_t));
}
void *operator new(std::size_t size, std::align_val_t align, const std::nothrow_t &) noexcept
{
	return should_fail() ? nullptr : allocate(size, std::size_t(align));
}
void operator delete(void *p) noexcept { std::free(p); }
void operator delete(void *p, std::size_t) noexcept { std::free(p); }
void operator delete(void *p, std::align_val_t) noexcept { std::free(p); }
void operator delete(void *p, std::size_t, std::align_val_t) noexcept { std::free(p); }
