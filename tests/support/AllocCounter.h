// Counts heap allocations made through operator new and malloc-family calls
// routed through it, so that a test can prove that a core routine allocates
// nothing:  AllocCounter c; Assemble(s); EXPECT_EQ(c.Count(), 0);
#pragma once

#include <cstddef>

namespace korvid::test {

std::size_t AllocationsSoFar();

class AllocCounter {
public:
    AllocCounter() : start_(AllocationsSoFar()) {}
    std::size_t Count() const { return AllocationsSoFar() - start_; }

private:
    std::size_t start_;
};

}  // namespace korvid::test
