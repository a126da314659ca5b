// Where serialized bytes go, piece by piece.
#ifndef KXLMESSAGE_BYTESINK_H
#define KXLMESSAGE_BYTESINK_H

#include <string>
#include <string_view>

namespace KXL::voc {

class ByteSink {
public:
    // False with `error` set stops the writer.
    virtual bool write(std::string_view bytes, std::string& error) = 0;

protected:
    ~ByteSink() = default;
};

} // namespace KXL::voc

#endif
