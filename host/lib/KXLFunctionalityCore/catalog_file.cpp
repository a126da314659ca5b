// The catalogue's sources: a file, or the built-in text.
#include <sys/stat.h>

#include <cerrno>
#include <new>

#include "host/lib/KXLFunctionalityCore/catalog_failure.h"
#include "common/file_io.h"
#include "host/KXPCatalog.h"

namespace KXP {

namespace {

// Room for millions of guest OSes; keeps a wrong path (a disk image, say) from eating memory.
constexpr off_t kMaxCatalogSize = 256 * 1024 * 1024;

namespace sys = KXL::sys;

int tooLarge(const std::string& path)
{
    return catalogFailure(path, "larger than " + std::to_string(kMaxCatalogSize) + " bytes");
}

// 0 with the file's bytes in `content`, or the negative status with the error text set.
int readWholeFile(const std::string& path, std::string& content)
{
    struct stat status {};
    std::string error;
    const sys::Fd file = sys::openToRead(path, status, error, "cannot read");
    if (!file)
        return catalogFailure(path, error);
    if (!S_ISREG(status.st_mode))
        return catalogFailure(path, "not a regular file");
    if (status.st_size > kMaxCatalogSize)
        return tooLarge(path);

    content.reserve(static_cast<std::size_t>(status.st_size)); // read once, not regrown and copied
    // The file may grow after fstat.
    switch (sys::readAll(file.get(), content, static_cast<std::size_t>(kMaxCatalogSize))) {
    case sys::ReadResult::Done:
        break;
    case sys::ReadResult::Failed:
        return catalogFailure(path, sys::errorText("cannot read", errno));
    case sys::ReadResult::TooLarge:
        return tooLarge(path);
    }
    return 0;
}

} // namespace

// host/lib/KXLFunctionalityCore/catalog.json, embedded at build time.
extern const char builtinCatalogText[];
extern const std::size_t builtinCatalogSize;

int builtinCatalog(KXPOSMap& supported, KXPOSMap& experimental)
{
    return parseCatalog({builtinCatalogText, builtinCatalogSize}, "built-in", supported, experimental);
}

int readCatalogFile(const std::string& path, KXPOSMap& supported, KXPOSMap& experimental)
{
    try {
        std::string text;
        const int status = readWholeFile(path, text);
        return status != 0 ? status : parseCatalog(text, path, supported, experimental);
    } catch (const std::bad_alloc&) {
        return catalogFailure(path, "out of memory");
    }
}

} // namespace KXP
