// Must not compile: a map writer whose key writer takes text, for a map keyed by numbers.
#include "KXLMessage/KXLMessageIterator.h"

#include <map>
#include <string>

int writeMismatchedMap(KXL::KXLMessageIterator& it)
{
    const std::map<unsigned int, int> codes{{1, 2}};
    const auto writer = KXL::KXLWriterMap(1017,
                                          KXL::KXLWriterID(KXL::KXLWriterSimple<const std::string&>(), 1010),
                                          KXL::KXLWriterSimple<const int>());
    return it.putObject(codes, writer, 0);
}
