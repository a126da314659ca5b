// A GUID value.
#ifndef HOST_KXLGUIDBASE_H
#define HOST_KXLGUIDBASE_H

#include <string>

namespace KXL {

class KXLGUIDBase {
public:
    KXLGUIDBase(); // the nil GUID
    int generate(); // a fresh random GUID; 0 on success
    // Lower-case 8-4-4-4-12 hex form; like any std::string, std::bad_alloc when memory runs out.
    std::string toString() const;

private:
    unsigned char m_bytes[16];
};

} // namespace KXL

#endif
