#include "pageRegions.h"

#include <cstdint>
#include <new>

#include <sys/mman.h>

namespace KXL {

namespace {

constexpr std::size_t kRegion = std::size_t{2} << 20; // a huge page on x86-64 and arm64
constexpr std::size_t kAlign = 64;

// Under AddressSanitizer each piece is a heap block of its own, so overruns are caught.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kOwnPieces = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kOwnPieces = true;
#else
constexpr bool kOwnPieces = false;
#endif
#else
constexpr bool kOwnPieces = false;
#endif

} // namespace

KXLPageRegions::~KXLPageRegions()
{
    for (const Region& region : m_regions) {
        if (kOwnPieces)
            delete[] region.base;
        else
            ::munmap(region.base, region.size);
    }
}

char* KXLPageRegions::newRegion(std::size_t size)
{
    m_regions.reserve(m_regions.size() + 1);
    if (kOwnPieces) {
        char* piece = new char[size];
        m_regions.push_back({piece, size});
        return piece;
    }
    // Mapped a region larger, then trimmed to an aligned one: huge pages need alignment.
    const std::size_t mapped = size + kRegion;
    void* raw = ::mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED)
        throw std::bad_alloc();
    char* const start = static_cast<char*>(raw);
    const std::uintptr_t address = reinterpret_cast<std::uintptr_t>(start);
    char* const base = start + ((kRegion - address % kRegion) % kRegion);
    if (base != start)
        ::munmap(start, static_cast<std::size_t>(base - start));
    if (char* const end = base + size; end != start + mapped)
        ::munmap(end, static_cast<std::size_t>(start + mapped - end));
    ::madvise(base, size, MADV_HUGEPAGE); // advice only: without huge pages, nothing changes
    m_regions.push_back({base, size});
    return base;
}

char* KXLPageRegions::take(std::size_t bytes)
{
    bytes = (bytes + kAlign - 1) / kAlign * kAlign;
    if (kOwnPieces || bytes > kRegion)
        return newRegion(bytes > kRegion ? (bytes + kRegion - 1) / kRegion * kRegion : bytes);
    if (m_left < bytes) {
        m_next = newRegion(kRegion);
        m_left = kRegion;
    }
    char* const piece = m_next;
    m_next += bytes;
    m_left -= bytes;
    return piece;
}

} // namespace KXL
