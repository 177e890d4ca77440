#pragma once

// Replaces every global operator new and delete of the program that includes
// this header (in one translation unit). Each allocation first asks the
// includer's refuse_allocation(nothrow); a refused non-throwing allocation
// returns null, a refused throwing one throws.

#include <cstddef>
#include <cstdlib>
#include <new>

static bool refuse_allocation(bool nothrow);

static void *allocate(std::size_t size, std::size_t align, bool nothrow)
{
	if (refuse_allocation(nothrow)) return nullptr;
	size = (size + align - 1) / align * align;
	return std::aligned_alloc(align, size ? size : align);
}

// The blocks come from aligned_alloc, which free releases.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

void *operator new(std::size_t size)
{
	if (void *p = allocate(size, alignof(std::max_align_t), false)) return p;
	throw std::bad_alloc();
}
void *operator new(std::size_t size, std::align_val_t align)
{
	if (void *p = allocate(size, std::size_t(align), false)) return p;
	throw std::bad_alloc();
}
void *operator new(std::size_t size, const std::nothrow_t &) noexcept
{
	return allocate(size, alignof(std::max_align_t), true);
}
void *operator new(std::size_t size, std::align_val_t align, const std::nothrow_t &) noexcept
{
	return allocate(size, std::size_t(align), true);
}
void operator delete(void *p) noexcept { std::free(p); }
void operator delete(void *p, std::size_t) noexcept { std::free(p); }
void operator delete(void *p, std::align_val_t) noexcept { std::free(p); }
void operator delete(void *p, std::size_t, std::align_val_t) noexcept { std::free(p); }
