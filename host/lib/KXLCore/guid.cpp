#include "host/KXLGUIDBase.h"

#include <algorithm>
#include <exception>

#include <boost/uuid/random_generator.hpp>
#include <boost/uuid/uuid.hpp>
#include <boost/uuid/uuid_io.hpp>

#include "host/lib/host_call.h"

namespace KXL {

static_assert(sizeof(boost::uuids::uuid) == 16, "a GUID is 16 bytes");

KXLGUIDBase::KXLGUIDBase()
{
    std::fill(std::begin(m_bytes), std::end(m_bytes), 0);
}

int KXLGUIDBase::generate()
{
    try {
        // A generator per call: no shared state between threads, and the system's
        // entropy source is cheap to reach.
        boost::uuids::random_generator generator;
        const boost::uuids::uuid fresh = generator();
        std::copy(fresh.begin(), fresh.end(), std::begin(m_bytes));
        return 0;
    } catch (const std::exception& error) {
        return host::fail({"cannot generate a GUID: ", error.what()});
    }
}

std::string KXLGUIDBase::toString() const
{
    boost::uuids::uuid value;
    std::copy(std::begin(m_bytes), std::end(m_bytes), value.begin());
    return boost::uuids::to_string(value);
}

} // namespace KXL
