// Memory for the full-size pieces of a large document (node blocks, text chunks): carved in
// turn out of 2 MiB regions that the system may back with huge pages, so building a large
// tree costs a page fault per 2 MiB rather than per 4 KiB.
#ifndef KXLMESSAGE_PAGEREGIONS_H
#define KXLMESSAGE_PAGEREGIONS_H

#include <cstddef>
#include <vector>

namespace KXL {

class KXLPageRegions {
public:
    KXLPageRegions() = default;
    ~KXLPageRegions();
    KXLPageRegions(const KXLPageRegions&) = delete;
    KXLPageRegions& operator=(const KXLPageRegions&) = delete;

    // `bytes` of untouched memory, aligned to 64 bytes, valid until this object is gone.
    // A piece larger than a region gets a region of its own. Throws std::bad_alloc.
    char* take(std::size_t bytes);

private:
    struct Region {
        char* base;
        std::size_t size;
    };
    char* newRegion(std::size_t size);

    std::vector<Region> m_regions;
    char* m_next = nullptr;
    std::size_t m_left = 0;
};

} // namespace KXL

#endif
