#include "host/KXPServer.h"

#include <new>

#include "host/lib/KXPCommon/catalog_source.h"
#include "host/lib/KXPCommon/sdk_state.h"
#include "host/lib/host_call.h"

namespace KXP {

// The stand-in server lives in this process: a connection is only a state, but the
// state is checked so that calls out of order fail as they would against a real server.
struct KXPServer::Impl {
    enum class State { Idle, Created, LoggedIn };
    State state = State::Idle;
};

using KXL::host::fail;

// Allocation failure cannot be reported from a constructor without an exception; every
// call reports it instead.
KXPServer::KXPServer() : m_impl(new (std::nothrow) Impl) {}

KXPServer::~KXPServer()
{
    delete m_impl;
}

int KXPServer::create()
{
    if (m_impl == nullptr)
        return fail("KXPServer::create: out of memory when the server object was made");
    if (!sdkReady())
        return fail("KXPServer::create: the SDK is not initialised (call KXP::SDK.init() first)");
    if (m_impl->state != Impl::State::Idle)
        return fail("KXPServer::create: the connection was already created; release it first");
    m_impl->state = Impl::State::Created;
    return 0;
}

int KXPServer::loginLocal()
{
    if (m_impl == nullptr)
        return fail("KXPServer::loginLocal: out of memory when the server object was made");
    if (!sdkReady())
        return fail("KXPServer::loginLocal: the SDK is not initialised (call KXP::SDK.init() first)");
    if (m_impl->state == Impl::State::Idle)
        return fail("KXPServer::loginLocal: no connection (call create first)");
    if (m_impl->state == Impl::State::LoggedIn)
        return fail("KXPServer::loginLocal: already logged in");
    m_impl->state = Impl::State::LoggedIn;
    return 0;
}

int KXPServer::release()
{
    // Harmless in every state: callers release on every path, failed ones included.
    if (m_impl != nullptr)
        m_impl->state = Impl::State::Idle;
    return 0;
}

int KXPServer::getOSMaps(KXPOSMap& supportedOS, KXPOSMap& experimentalOS) const
{
    if (m_impl == nullptr)
        return fail("KXPServer::getOSMaps: out of memory when the server object was made");
    if (!sdkReady())
        return fail("KXPServer::getOSMaps: the SDK is not initialised (call KXP::SDK.init() first)");
    if (m_impl->state != Impl::State::LoggedIn)
        return fail("KXPServer::getOSMaps: not logged in (call create and loginLocal first)");
    return serveCatalog(supportedOS, experimentalOS);
}

} // namespace KXP
