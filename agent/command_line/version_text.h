// What `host-agent --version` prints.
#ifndef AGENT_VERSION_TEXT_H
#define AGENT_VERSION_TEXT_H

#include <string>

namespace KXL {

// The agent's version and the version of the .voc format it reads and writes, one a line,
// without a final newline.
std::string versionText();

} // namespace KXL

#endif
