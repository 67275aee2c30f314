// Counts heap allocations made by the calling thread while a counter is alive, by standing
// in for malloc and friends in this benchmark program (glibc only).
#pragma once

namespace corvane::bench {

class AllocationCounter {
public:
    AllocationCounter();
    ~AllocationCounter();
    [[nodiscard]] long Count() const;
};

}  // namespace corvane::bench
