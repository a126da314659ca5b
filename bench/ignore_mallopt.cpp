// Preloaded into a command, leaves glibc's malloc settings as they were, so that
// scripts/bench.sh can weigh the agent's own setting on a whole run.
extern "C" int mallopt(int, int)
{
    return 1;
}
