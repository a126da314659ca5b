// The SDK and the server connection of the test host.
#include "test_host_state.h"
#include "host/KXPSDK.h"
#include "host/KXPServer.h"

namespace KXP {

KXPSDK SDK;

int KXPSDK::init()
{
    return test_host::record("SDK.init()", test_host::state().script.sdkInit);
}

void KXPSDK::deinit()
{
    test_host::record("SDK.deinit()");
}

struct KXPServer::Impl {
};

KXPServer::KXPServer() : m_impl(nullptr)
{
    test_host::record("KXPServer()");
}

KXPServer::~KXPServer()
{
    test_host::state().calls.push_back("~KXPServer()");
}

int KXPServer::create()
{
    return test_host::record("create()", test_host::state().script.create);
}

int KXPServer::loginLocal()
{
    return test_host::record("loginLocal()", test_host::state().script.login);
}

int KXPServer::release()
{
    return test_host::record("release()");
}

int KXPServer::getOSMaps(KXPOSMap& supportedOS, KXPOSMap& experimentalOS) const
{
    const test_host::Script& script = test_host::state().script;
    const bool empty = supportedOS.empty() && experimentalOS.empty();
    const int status = test_host::record(empty ? "getOSMaps(empty, empty)" : "getOSMaps(filled)",
                                        script.getOSMaps);
    if (status >= 0) {
        supportedOS = script.supported;
        experimentalOS = script.experimental;
    }
    return status;
}

} // namespace KXP
