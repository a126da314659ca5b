// The catalogue reader against memcpy of the same bytes, in one run: a 100k-guest-OS
// catalogue of bench/make_catalog.py's shape, made in memory. scripts/bench.sh reads the
// bytes_per_second of each.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <benchmark/benchmark.h>

#include "host/lib/KXLFunctionalityCore/catalog_reader.h"
#include "host/KXLError.h"
#include "host/KXPCatalog.h"
#include "memcpy_reference.h"

namespace {

// Byte for byte what `make_catalog.py 100000` writes.
const std::string& catalogue()
{
    static const std::string text = [] {
        std::string supported;
        std::string experimental;
        for (int i = 0; i < 100000; ++i) {
            char entry[160];
            std::snprintf(entry, sizeof entry,
                          "{\"code\": %d, \"property1\": \"os%07d\", \"property2\": \"Generated OS %07d LTS (x86_64)\"}",
                          1000 + i, i, i);
            std::string& list = i % 5 == 4 ? experimental : supported;
            list += list.empty() ? "" : ",\n";
            list += entry;
        }
        return "{\"supported\": [\n" + supported + "],\n\"experimental\": [\n" + experimental + "]}\n";
    }();
    return text;
}

void BM_Memcpy(benchmark::State& state)
{
    copyBytes(state, catalogue(), false);
}

void BM_MemcpyCold(benchmark::State& state)
{
    copyBytes(state, catalogue(), true);
}

// The reader alone: the scan and every check, the entries only counted.
void BM_ParseCatalog(benchmark::State& state)
{
    const std::string& text = catalogue();
    for (auto _ : state) {
        std::size_t entries[2] = {};
        if (KXP::readCatalog(text, "bench", [&](int list, const KXP::CatalogEntry&) { ++entries[list]; }) != 0 ||
            entries[0] != 80000 || entries[1] != 20000) {
            state.SkipWithError(KXL::getErrorMessage());
            break;
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
}

// What the host interface costs: the reader filling the two maps. Freeing them is their
// owner's cost and is left out of the time.
void BM_ParseCatalogIntoMaps(benchmark::State& state)
{
    const std::string& text = catalogue();
    for (auto _ : state) {
        KXP::KXPOSMap supported;
        KXP::KXPOSMap experimental;
        if (KXP::parseCatalog(text, "bench", supported, experimental) != 0 || supported.size() != 80000 ||
            experimental.size() != 20000) {
            state.SkipWithError(KXL::getErrorMessage());
            break;
        }
        state.PauseTiming();
        supported = {};
        experimental = {};
        state.ResumeTiming();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
}

BENCHMARK(BM_Memcpy);
BENCHMARK(BM_MemcpyCold);
BENCHMARK(BM_ParseCatalog)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ParseCatalogIntoMaps)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
