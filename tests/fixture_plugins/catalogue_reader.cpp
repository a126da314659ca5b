// Reads the server's guest OS maps as a real plug-in does, and fails unless they are the
// test's catalogue: one supported guest OS, code 3, "a", "A". Then, when
// KXL_TEST_REMOVE_CATALOGUE names a file, removes it: a later plug-in of the same run must
// still be served the catalogue the agent read.
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "host/KXLError.h"
#include "host/KXPSDK.h"
#include "host/KXPServer.h"
#include "plugin_entry_points.h"

namespace {

bool servedTestCatalogue(const KXP::KXPOSMap& supported, const KXP::KXPOSMap& experimental)
{
    const auto only = supported.find(3);
    return supported.size() == 1 && only != supported.end() && std::string(only->second.property1) == "a" &&
        std::string(only->second.property2) == "A" && experimental.empty();
}

} // namespace

int initKXLPlugIn()
{
    int status = KXP::SDK.init();
    if (status != 0)
        return status;
    {
        KXP::KXPServer server;
        server.create();
        status = server.loginLocal();
        KXP::KXPOSMap supported;
        KXP::KXPOSMap experimental;
        if (status == 0)
            status = server.getOSMaps(supported, experimental);
        if (status == 0 && !servedTestCatalogue(supported, experimental)) {
            KXL::setErrorMessage("the catalogue served is not the test's");
            status = 1;
        }
        server.release();
    }
    KXP::SDK.deinit();
    if (const char* catalogue = std::getenv("KXL_TEST_REMOVE_CATALOGUE"))
        ::unlink(catalogue);
    return status;
}

int finiKXLPlugIn()
{
    return 0;
}
