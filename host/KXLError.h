// The text of the last failed host call, kept per thread.
#ifndef HOST_KXLERROR_H
#define HOST_KXLERROR_H

#include <string>

namespace KXL {

// Valid until the next host call on this thread sets a new text; never null.
const char* getErrorMessage();

// Host side: every failing host call records why.
void setErrorMessage(const std::string& text);

} // namespace KXL

#endif
