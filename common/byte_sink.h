// Where serialized bytes go, piece by piece.
#ifndef COMMON_BYTE_SINK_H
#define COMMON_BYTE_SINK_H

#include <string>
#include <string_view>

namespace KXL::sys {

class ByteSink {
public:
    // False with `error` set stops the writer.
    virtual bool write(std::string_view bytes, std::string& error) = 0;

protected:
    ~ByteSink() = default;
};

} // namespace KXL::sys

#endif
