// Cost of the writer framework alone: a std::map of 10, 100 and 1000 small records written
// through KXLWriterMap into an iterator that only counts, so that what is measured is the
// composed writers' own work (dispatch, stamping decisions, conversions), not a message.
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

#include <benchmark/benchmark.h>

#include "KXLMessage/KXLMessageIterator.h"

// The host's assertion support lives in libKXLCore; this program links nothing of the
// host, so it brings its own. A failed assertion means the benchmark measures nonsense.
namespace KXL {

bool Debug::check(bool condition)
{
    return condition;
}

void abort(const char* module, const char* file, int line, const char* function,
           const char* prettyFunction)
{
    std::fprintf(stderr, "%s: assertion failed at %s:%d in %s (%s)\n", module, file, line,
                 function, prettyFunction);
    std::abort();
}

} // namespace KXL

namespace {

// Answers every operation with success and keeps counts, touching no heap.
class CountingIterator : public KXL::KXLMessageIterator {
public:
    int leaveChild() override { return count(); }
    int setNamespace(const std::string&) override { return count(); }
    int setType(const std::string&, const std::string&) override { return count(); }
    int onTagRejected() override { return count(); }
    int putValueByName(int, const std::string&) override { return count(); }
    int probeTag(int) override { return count() + 1; }
    int addChild(int) override { return count(); }
    int setItemNSType(int) override { return count(); }
    int setNSID(int) override { return count(); }
    int setTypeID(int, int) override { return count(); }
    int putValue(const std::string&, int) override { return count(); }
    int putValue(int value, int) override
    {
        sum += value;
        return count();
    }

    long long calls = 0;
    long long sum = 0;

private:
    int count()
    {
        ++calls;
        return 0;
    }
};

struct Adapter {
    int model;
    int slots;
};

// A record writer of the usual shape: each field in its own tagged child.
struct AdapterWriter : KXL::KXLWriterBase {
    int operator()(KXL::KXLMessageIterator& it, const Adapter& adapter) const
    {
        const KXL::KXLWriterSimple<const int> field;
        if (it.putObject(adapter.model, KXL::KXLWriterID(field, 1026), 0) != 0)
            return 1;
        return it.putObject(adapter.slots, KXL::KXLWriterID(field, 1846), 0);
    }
};

void writeMap(benchmark::State& state)
{
    std::map<unsigned int, Adapter> adapters;
    for (unsigned int code = 0; code < static_cast<unsigned int>(state.range(0)); ++code)
        adapters[code * 7u + 4000000000u] = Adapter{static_cast<int>(code), 2};
    const auto writer = KXL::KXLWriterMap(
        1017, KXL::KXLWriterID(KXL::KXLWriterSimple<const int>(), 1010), AdapterWriter());
    CountingIterator it;

    for (auto _ : state) {
        const int status = it.putObject(adapters, writer, 0);
        benchmark::DoNotOptimize(status);
    }
    benchmark::DoNotOptimize(it.sum);
    state.SetItemsProcessed(state.iterations() * state.range(0));
    state.counters["calls/entry"] = benchmark::Counter(
        static_cast<double>(it.calls) / static_cast<double>(state.iterations() * state.range(0)));
}

} // namespace

BENCHMARK(writeMap)->Arg(10)->Arg(100)->Arg(1000);

BENCHMARK_MAIN();
