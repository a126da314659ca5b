// Reads the server's guest OS maps as a real plug-in does, and fails unless they hold a
// supported guest OS. Then, when KXL_TEST_REMOVE_CATALOGUE names a file, removes it: a
// later plug-in of the same run must still be served the catalogue the agent read.
#include <unistd.h>

#include <cstdlib>

#include "host/KXLError.h"
#include "host/KXPSDK.h"
#include "host/KXPServer.h"
#include "plugin_entry_points.h"

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
        if (status == 0 && supported.empty()) {
            KXL::setErrorMessage("no supported guest OS was served");
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
