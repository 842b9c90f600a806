// Makes every operator new of the current thread fail for the object's
// lifetime, so that a test can see what code does when memory runs out.
#pragma once

namespace lumo_engine {

class ScopedFailingAllocations {
public:
    ScopedFailingAllocations();
    ~ScopedFailingAllocations();
    ScopedFailingAllocations(const ScopedFailingAllocations&) = delete;
    ScopedFailingAllocations& operator=(const ScopedFailingAllocations&) = delete;
};

} // namespace lumo_engine
