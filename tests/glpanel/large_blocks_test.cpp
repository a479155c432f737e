#include "glpanel/large_blocks.h"

#include <gtest/gtest.h>
#include <malloc.h>

#include <cstdlib>

namespace {

void* touchedBlock(std::size_t bytes) {
    auto* p = static_cast<volatile char*>(std::malloc(bytes));
    if (p) p[0] = 1;
    return const_cast<char*>(p);
}

// Once a block of several megabytes has been freed, glibc would serve the
// next blocks of a few hundred kilobytes from the heap; with the policy set
// a block that finds no free room in the heap gets a mapping of its own and
// goes back to the system when freed. (Room already free in the heap is used
// first, whatever the policy: CTest runs this test in a process of its own.)
TEST(LargeBlocks, KeepTheirOwnMappingAfterAFarLargerBlockWasFreed) {
    m797::gl::keepLargeBlocksMapped();
    std::free(touchedBlock(8u << 20));
    for (std::size_t bytes : {std::size_t(160 * 1024), std::size_t(1u << 20)}) {
        const std::size_t mappedBefore = mallinfo2().hblks;
        void* block = touchedBlock(bytes);
        ASSERT_NE(block, nullptr);
        EXPECT_EQ(mallinfo2().hblks, mappedBefore + 1) << bytes;
        std::free(block);
        EXPECT_EQ(mallinfo2().hblks, mappedBefore) << bytes;
    }
}

}  // namespace
