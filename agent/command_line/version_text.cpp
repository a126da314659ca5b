#include "version_text.h"

#include "host/KXLMessageFile.h"

namespace KXL {

std::string versionText()
{
    // KXL_PROJECT_VERSION: the project's version, set by the build.
    return std::string("host-agent ") + KXL_PROJECT_VERSION + "\n.voc format " +
        std::string(kVocFormatVersion);
}

} // namespace KXL
