// Replaces the scalar global allocation functions of this test program; the
// other forms of operator new and delete lead to these. They behave as the
// standard ones unless the calling thread has asked for failures.
#include "FailingAllocations.h"

#include <cstdlib>
#include <new>

namespace {
thread_local bool failing = false;
}

namespace lumo_engine {

ScopedFailingAllocations::ScopedFailingAllocations()
{
    failing = true;
}

ScopedFailingAllocations::~ScopedFailingAllocations()
{
    failing = false;
}

} // namespace lumo_engine

void* operator new(std::size_t size)
{
    if (failing)
        throw std::bad_alloc();
    if (void* block = std::malloc(size == 0 ? 1 : size))
        return block;
    throw std::bad_alloc();
}

void operator delete(void* block) noexcept
{
    std::free(block);
}

void operator delete(void* block, std::size_t) noexcept
{
    std::free(block);
}
