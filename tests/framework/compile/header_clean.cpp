// Instantiates every part of the writer framework, so that a compiler's warnings about
// any of it surface here (compiled with -Wall -Wextra -Werror by the framework tests).
#include "KXLMessage/KXLMessageIterator.h"

#include <map>
#include <string>
#include <vector>

namespace {

struct Record {
    std::string name;
    int size;
};

struct RecordWriter : KXL::KXLWriterBase {
    static int getNSID() { return 5; }
    static const char* getStrTypeID() { return "record"; }
    int operator()(KXL::KXLMessageIterator& it, const Record& record) const
    {
        if (it.putObject(record.name, KXL::KXLWriterID(KXL::KXLWriterSimple<const std::string&>(), 1026), 0) != 0)
            return 1;
        return it.putObject(record.size, KXL::KXLWriterID(KXL::KXLWriterSimple<const int>(), 1846), 0);
    }
};

} // namespace

int writeEverything(KXL::KXLMessageIterator& it)
{
    const std::map<unsigned int, Record> records{{4294967295u, {"x", 1}}};
    const std::vector<int> numbers{1, 2};
    int status = it.putObject(records,
                              KXL::KXLWriterMap(1017,
                                                KXL::KXLWriterID(KXL::KXLWriterSimple<const int>(), 1010),
                                                RecordWriter()),
                              1044);
    status |= it.putObject(numbers, KXL::KXLWriterList(KXL::KXLWriterSimple<const int>()), 0);
    status |= it.putObject(numbers, KXL::KXLWriterList(KXL::KXLWriterSimple<const int>(), 1303), 0);
    status |= it.putObject("VirtIO", KXL::KXLWriterID(KXL::KXLWriterSimple<const std::string&>(), 1264), 0);
    status |= it.putObject(7u, KXL::KXLWriterSimple<const int>(), 1010);
    const KXL::KXLWriterIDT<int, KXL::KXLWriterSimple<const int>> withItemType(
        KXL::KXLWriterSimple<const int>(), 1010, 3);
    status |= withItemType(it, 1);
    return status;
}
