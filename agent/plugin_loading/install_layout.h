// Where a run finds its plug-ins and keeps what they save, decided from the executable's place.
#ifndef AGENT_INSTALL_LAYOUT_H
#define AGENT_INSTALL_LAYOUT_H

#include <string>
#include <vector>

namespace KXL {

struct RunLayout {
    // Searched in this order; of plug-ins of the same NAME, the first folder's is run.
    std::vector<std::string> pluginFolders;
    // The host's plug-in folder (KXLInstanceFolders::plugins()): NAME/NAME.voc and the run
    // lock live there.
    std::string stateFolder;
};

// Installed under /usr (the package), /usr stays read-only: plug-ins are searched in
// /usr/local/lib/host-agent/plugins, then /usr/lib/host-agent/plugins, and the state is
// KXL_SYSTEM_STATE_DIR/plugins. Any other tree (a build's stage, an install elsewhere) keeps
// everything in <prefix>/lib/host-agent/plugins. std::runtime_error when the executable's
// path cannot be read.
RunLayout defaultRunLayout();

} // namespace KXL

#endif
