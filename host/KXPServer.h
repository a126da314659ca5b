// A connection to the local virtualization server.
#ifndef HOST_KXPSERVER_H
#define HOST_KXPSERVER_H

#include <map>

#include "host/KXLOS.h"

namespace KXP {

// Guest operating systems by the server's OS code.
using KXPOSMap = std::map<unsigned int, KXL::KXLOS>;

class KXPServer {
public:
    KXPServer();
    ~KXPServer();
    KXPServer(const KXPServer&) = delete;
    KXPServer& operator=(const KXPServer&) = delete;

    int create();
    int loginLocal(); // 0 = logged in
    int release();

    // Fills both maps, passed in empty: negative = failure with the error text set.
    int getOSMaps(KXPOSMap& supportedOS, KXPOSMap& experimentalOS) const;

private:
    struct Impl;
    Impl* m_impl;
};

} // namespace KXP

#endif
