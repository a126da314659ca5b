// Whether the host's SDK object is up: what server calls check first.
#ifndef KXPCOMMON_SDKSTATE_H
#define KXPCOMMON_SDKSTATE_H

namespace KXP {

bool sdkReady();

} // namespace KXP

#endif
