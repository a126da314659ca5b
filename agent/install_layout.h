// Where the install tree keeps what the agent needs, found from the executable's own place.
#ifndef AGENT_INSTALL_LAYOUT_H
#define AGENT_INSTALL_LAYOUT_H

#include <string>

namespace KXL {

// The plug-in folder of the install tree (or staged build tree) this executable runs
// from: <prefix>/bin/host-agent -> <prefix>/lib/host-agent/plugins. std::runtime_error
// when the executable's path cannot be read.
std::string defaultPluginsFolder();

} // namespace KXL

#endif
