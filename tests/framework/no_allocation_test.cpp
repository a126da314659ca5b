// Writing a whole map through KXLWriterMap allocates nothing: the writers are values on
// the stack and the list writer keeps no state of its own. Counted with a replaced global
// operator new, against an iterator that allocates nothing either.
#include <cstddef>
#include <cstdlib>
#include <map>
#include <new>
#include <string>

#include <gtest/gtest.h>

#include "assertion_recorder.h"
#include "KXLMessage/KXLMessageIterator.h"

namespace {

std::size_t allocations = 0;

void* countedAllocation(std::size_t size)
{
    ++allocations;
    if (void* memory = std::malloc(size != 0 ? size : 1))
        return memory;
    throw std::bad_alloc();
}

} // namespace

void* operator new(std::size_t size)
{
    return countedAllocation(size);
}
void* operator new[](std::size_t size)
{
    return countedAllocation(size);
}
void operator delete(void* memory) noexcept
{
    std::free(memory);
}
void operator delete[](void* memory) noexcept
{
    std::free(memory);
}
void operator delete(void* memory, std::size_t) noexcept
{
    std::free(memory);
}
void operator delete[](void* memory, std::size_t) noexcept
{
    std::free(memory);
}

namespace framework_test {
namespace {

using KXL::KXLWriterID;
using KXL::KXLWriterMap;
using KXL::KXLWriterSimple;

// Counts element operations and sums the values, touching no heap.
class CountingIterator : public KXL::KXLMessageIterator {
public:
    int leaveChild() override { return count(leaves, 0); }
    int setNamespace(const std::string&) override { return count(others, 0); }
    int setType(const std::string&, const std::string&) override { return count(others, 0); }
    int onTagRejected() override { return count(others, 0); }
    int putValueByName(int, const std::string&) override { return count(others, 0); }
    int probeTag(int) override { return count(probes, 1); }
    int addChild(int) override { return count(children, 0); }
    int setItemNSType(int) override { return count(others, 0); }
    int setNSID(int) override { return count(others, 0); }
    int setTypeID(int, int) override { return count(others, 0); }
    int putValue(const std::string&, int) override { return count(others, 0); }
    int putValue(int value, int) override
    {
        valueSum += value;
        return count(values, 0);
    }

    int leaves = 0, probes = 0, children = 0, values = 0, others = 0;
    long long valueSum = 0;

private:
    static int count(int& counter, int answer)
    {
        ++counter;
        return answer;
    }
};

struct Disk {
    int size;
    int bus;
};

// A record writer of the usual shape: its fields, each in its own child.
struct DiskWriter : KXL::KXLWriterBase {
    int operator()(KXL::KXLMessageIterator& it, const Disk& disk) const
    {
        const auto field = KXLWriterSimple<const int>();
        if (it.putObject(disk.size, KXLWriterID(field, 1026), 0) != 0)
            return 1;
        return it.putObject(disk.bus, KXLWriterID(field, 1846), 0);
    }
};

TEST(NoAllocation, CounterSeesAllocations)
{
    const std::size_t before = allocations;
    void* memory = ::operator new(16);
    ::operator delete(memory);
    EXPECT_EQ(allocations - before, 1u);
}

TEST(NoAllocation, WritingMapThroughKXLWriterMapAllocatesNothing)
{
    resetAssertionLog();
    std::map<unsigned int, Disk> disks;
    for (unsigned int code = 0; code < 100; ++code)
        disks[code * 3u] = Disk{static_cast<int>(code), 1};
    const auto writer = KXLWriterMap(1017, KXLWriterID(KXLWriterSimple<const int>(), 1010), DiskWriter());
    CountingIterator it;

    const std::size_t before = allocations;
    const int untagged = it.putObject(disks, writer, 0);
    const int tagged = it.putObject(disks, writer, 1307);
    const std::size_t made = allocations - before;

    EXPECT_EQ(made, 0u);
    EXPECT_EQ(untagged, 0);
    EXPECT_EQ(tagged, 0);
    // and the writes did happen: per entry a 1017, a 1010 and two field children
    EXPECT_EQ(it.children, 2 * 100 * 4 + 1);
    EXPECT_EQ(it.leaves, it.children);
    EXPECT_EQ(it.values, 2 * 100 * 3);
    EXPECT_EQ(it.probes, 1);
    EXPECT_EQ(it.others, 0);
    EXPECT_TRUE(assertionLog().aborts.empty());
}

} // namespace
} // namespace framework_test
