// Must not compile: a writer type with no call operation.
#include "KXLMessage/KXLMessageIterator.h"

struct NotAWriter : KXL::KXLWriterBase {
};

int writeWithoutCall(KXL::KXLMessageIterator& it)
{
    return it.putObject(1, NotAWriter(), 0);
}
