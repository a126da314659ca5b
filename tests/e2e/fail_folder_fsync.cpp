// Test-only LD_PRELOAD shim: flushing a folder to disk fails with EIO, as on a failing disk,
// while files flush as usual; a save then gets as far as its rename and no further.
#include <dlfcn.h>
#include <errno.h>
#include <sys/stat.h>

extern "C" int fsync(int fd)
{
    struct stat status {};
    if (::fstat(fd, &status) == 0 && S_ISDIR(status.st_mode)) {
        errno = EIO;
        return -1;
    }
    return reinterpret_cast<int (*)(int)>(::dlsym(RTLD_NEXT, "fsync"))(fd);
}
