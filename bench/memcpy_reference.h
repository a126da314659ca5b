// memcpy of a component's bytes: the rate each component's rate is divided by.
// Hot, the bytes stay in the caches between copies (16 MB fit the 32 MiB L3 of the bench
// machine); cold, source and destination are pushed out of the caches before each copy, as the
// bytes of a file read or written by the component are. Both are shown: hot flatters memcpy
// when the bytes fit the cache, cold is what the component itself meets.
#ifndef BENCH_MEMCPY_REFERENCE_H
#define BENCH_MEMCPY_REFERENCE_H

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

inline void copyBytes(benchmark::State& state, const std::string& from, bool cold)
{
    std::string to(from.size(), '\0');
    std::vector<char> evictor(cold ? std::size_t{128} << 20 : 0);
    for (auto _ : state) {
        if (cold) {
            state.PauseTiming();
            for (std::size_t i = 0; i < evictor.size(); i += 64)
                ++evictor[i];
            benchmark::ClobberMemory();
            state.ResumeTiming();
        }
        std::memcpy(to.data(), from.data(), from.size());
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * from.size()));
}

#endif
