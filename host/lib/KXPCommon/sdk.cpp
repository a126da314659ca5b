#include "host/KXPSDK.h"

#include <atomic>
#include <mutex>

#include "host/lib/KXPCommon/sdk_state.h"
#include "host/lib/host_call.h"

namespace KXP {

KXPSDK SDK;

namespace {
std::mutex sdkMutex; // init and deinit of any KXPSDK object
std::atomic<bool> sdkUp{false}; // mirrors SDK.m_ready for the server
} // namespace

bool sdkReady()
{
    return sdkUp.load();
}

int KXPSDK::init()
{
    std::lock_guard<std::mutex> lock(sdkMutex);
    if (m_ready)
        return KXL::host::fail("KXPSDK::init: the SDK is already initialised; call deinit first");
    m_ready = true;
    if (this == &SDK)
        sdkUp.store(true);
    return 0;
}

void KXPSDK::deinit()
{
    std::lock_guard<std::mutex> lock(sdkMutex);
    m_ready = false;
    if (this == &SDK)
        sdkUp.store(false);
}

} // namespace KXP
