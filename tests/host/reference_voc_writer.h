// The .voc writer of earlier versions, which built a pugixml DOM: the reference that the
// streaming writer must match byte for byte.
#ifndef TESTS_HOST_REFERENCE_VOC_WRITER_H
#define TESTS_HOST_REFERENCE_VOC_WRITER_H

#include <string>

#include "host/KXLMessageTree.h"

namespace kxltest {

std::string referenceVoc(const KXL::KXLDocument& document);

} // namespace kxltest

#endif
