// The SDK and the server connection of the test host.
#include "test_host_state.h"
#include "host/KXPSDK.h"
#include "host/KXPServer.h"

namespace KXP {

KXPSDK SDK;

int KXPSDK::init()
{
    return TestHost::record("SDK.init()", TestHost::state().script.sdkInit);
}

void KXPSDK::deinit()
{
    TestHost::record("SDK.deinit()");
}

struct KXPServer::Impl {
};

KXPServer::KXPServer() : m_impl(nullptr)
{
    TestHost::record("KXPServer()");
}

KXPServer::~KXPServer()
{
    TestHost::state().calls.push_back("~KXPServer()");
}

int KXPServer::create()
{
    return TestHost::record("create()", TestHost::state().script.create);
}

int KXPServer::loginLocal()
{
    return TestHost::record("loginLocal()", TestHost::state().script.login);
}

int KXPServer::release()
{
    return TestHost::record("release()");
}

int KXPServer::getOSMaps(KXPOSMap& supportedOS, KXPOSMap& experimentalOS) const
{
    const TestHost::Script& script = TestHost::state().script;
    const bool empty = supportedOS.empty() && experimentalOS.empty();
    const int status = TestHost::record(empty ? "getOSMaps(empty, empty)" : "getOSMaps(filled)",
                                        script.getOSMaps);
    if (status >= 0) {
        supportedOS = script.supported;
        experimentalOS = script.experimental;
    }
    return status;
}

} // namespace KXP
