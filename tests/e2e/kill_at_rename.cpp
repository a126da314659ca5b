// Test-only LD_PRELOAD shim: the process kills itself when it is about to rename a file
// over a path ending in ".voc", the moment a save's temporary file is complete and named.
#include <dlfcn.h>
#include <signal.h>
#include <unistd.h>

#include <cstring>

namespace {

bool isVocabulary(const char* path)
{
    const std::size_t length = path == nullptr ? 0 : std::strlen(path);
    return length >= 4 && std::strcmp(path + length - 4, ".voc") == 0;
}

void killIfVocabulary(const char* path)
{
    if (isVocabulary(path))
        ::kill(::getpid(), SIGKILL);
}

template <typename Function>
Function next(const char* name)
{
    return reinterpret_cast<Function>(::dlsym(RTLD_NEXT, name));
}

} // namespace

extern "C" {

int rename(const char* from, const char* to)
{
    killIfVocabulary(to);
    return next<int (*)(const char*, const char*)>("rename")(from, to);
}

int renameat(int fromDir, const char* from, int toDir, const char* to)
{
    killIfVocabulary(to);
    return next<int (*)(int, const char*, int, const char*)>("renameat")(fromDir, from, toDir, to);
}

int renameat2(int fromDir, const char* from, int toDir, const char* to, unsigned int flags)
{
    killIfVocabulary(to);
    return next<int (*)(int, const char*, int, const char*, unsigned int)>("renameat2")(
        fromDir, from, toDir, to, flags);
}

} // extern "C"
