// What a message and its iterators share.
#ifndef KXLMESSAGE_MESSAGESTATE_H
#define KXLMESSAGE_MESSAGESTATE_H

#include "host/KXLMessageTree.h"

namespace KXL {

// Held through shared_ptr by the message and by each iterator, so an iterator used after
// destroy() (a caller error) fails cleanly instead of touching freed memory.
struct MessageState {
    KXLDocument document;
    bool prepared = false;
    bool destroyed = false;
};

} // namespace KXL

#endif
