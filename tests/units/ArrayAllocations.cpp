// Replaces the array forms of the global allocation functions for this test
// program. They keep the standard behaviour and only add the counting.
#include "units/ArrayAllocations.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

std::atomic<long> liveArrays{ 0 };

void* AllocateArray(std::size_t size) noexcept
{
    void* block = std::malloc(size == 0 ? 1 : size);
    if (block != nullptr)
        ++liveArrays;
    return block;
}

void ReleaseArray(void* block) noexcept
{
    if (block == nullptr)
        return;
    --liveArrays;
    std::free(block);
}

} // namespace

namespace lumo_test {

long LiveArrayAllocations()
{
    return liveArrays.load();
}

} // namespace lumo_test

void* operator new[](std::size_t size)
{
    for (;;) {
        if (void* block = AllocateArray(size))
            return block;
        std::new_handler handler = std::get_new_handler();
        if (handler == nullptr)
            throw std::bad_alloc();
        handler();
    }
}

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept
{
    try {
        return operator new[](size);
    } catch (...) {
        return nullptr;
    }
}

void operator delete[](void* block) noexcept
{
    ReleaseArray(block);
}

void operator delete[](void* block, std::size_t) noexcept
{
    ReleaseArray(block);
}

void operator delete[](void* block, const std::nothrow_t&) noexcept
{
    ReleaseArray(block);
}
