// Runs a command with transparent huge pages refused to it (and to what it starts), so that
// scripts/bench.sh can weigh the message tree's huge-page regions on a whole run.
//
//     without_huge_pages COMMAND [ARG...]
#include <cerrno>
#include <cstdio>
#include <cstring>

#include <sys/prctl.h>
#include <unistd.h>

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: without_huge_pages COMMAND [ARG...]\n");
        return 2;
    }
    if (::prctl(PR_SET_THP_DISABLE, 1, 0, 0, 0) != 0) {
        std::fprintf(stderr, "without_huge_pages: prctl: %s\n", std::strerror(errno));
        return 1;
    }
    ::execvp(argv[1], argv + 1);
    std::fprintf(stderr, "without_huge_pages: %s: %s\n", argv[1], std::strerror(errno));
    return 127;
}
