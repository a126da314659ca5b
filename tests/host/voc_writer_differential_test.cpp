// The streaming writer against the DOM-based writer of earlier versions, on generated trees:
// the same bytes, and the reader gives back the same tree.
#include <random>
#include <string>

#include <gtest/gtest.h>

#include "host/KXLError.h"
#include "host/KXLMessageFile.h"
#include "reference_voc_writer.h"
#include "test_files.h"
#include "test_tree.h"

namespace {

using NodeId = KXL::KXLDocument::NodeId;

class TreeGenerator {
public:
    explicit TreeGenerator(unsigned seed) : m_random(seed) {}

    KXL::KXLDocument document()
    {
        KXL::KXLDocument document;
        document.setKind(number());
        const int roots = below(4);
        for (int i = 0; i < roots; ++i)
            element(document, KXL::KXLDocument::kRoot, 1);
        return document;
    }

private:
    std::mt19937 m_random;

    int below(int bound) { return static_cast<int>(m_random() % static_cast<unsigned>(bound)); }

    int number()
    {
        switch (below(4)) {
        case 0: return below(10);
        case 1: return -below(1000);
        default: return static_cast<int>(m_random());
        }
    }

    // Plain words, markup characters, control bytes, CR, invalid UTF-8 and multi-byte text.
    std::string text()
    {
        static const char* const pieces[] = {"guest_os_type", " ", "<", ">", "&", "\"", "'", "]]>",
            "\t", "\n", "\r", "\x01", "\x7F", "\xC3\xBC", "\xF0\x9F\x9A\x80", "\xFF", "\xED\xA0\x80", "&amp;"};
        std::string out;
        const int count = below(5);
        for (int i = 0; i < count; ++i)
            out += pieces[below(sizeof pieces / sizeof *pieces)];
        return out;
    }

    std::string nonEmptyText()
    {
        std::string out = text();
        return out.empty() ? "n" : out;
    }

    void element(KXL::KXLDocument& document, NodeId parent, int depth)
    {
        const NodeId id = document.appendElement(parent, 1 + below(2000));
        switch (below(3)) {
        case 0: break;
        case 1: document.setInt(id, number()); break;
        default: document.setText(id, text());
        }
        if (below(6) == 0) {
            KXL::KXLStamps stamps;
            stamps.ns = nonEmptyText();
            stamps.nsid = number() | 1;
            stamps.type.emplace(text(), nonEmptyText());
            stamps.typeId.emplace(number(), number());
            stamps.itemNSType = number();
            document.setStamps(id, stamps);
        }
        const int children = depth < 5 ? below(5) : 0;
        for (int i = 0; i < children; ++i) {
            if (below(3) == 0) {
                const std::string name = nonEmptyText();
                document.appendNamed(id, name, number());
            } else {
                element(document, id, depth + 1);
            }
        }
    }
};

TEST(VocWriterDifferential, SameBytesAsTheDomWriterAndReadsBack)
{
    test_files::TempFolder dir;
    const std::string path = dir.file("generated.voc");
    for (unsigned seed = 1; seed <= 300; ++seed) {
        const KXL::KXLDocument document = TreeGenerator(seed).document();
        ASSERT_EQ(KXL::saveDocument(document, path), 0) << KXL::getErrorMessage();
        ASSERT_EQ(test_files::readFile(path), kxltest::referenceVoc(document)) << "seed " << seed;
        KXL::KXLDocument loaded;
        ASSERT_EQ(KXL::loadDocument(path, loaded), 0) << KXL::getErrorMessage();
        ASSERT_EQ(loaded, document) << "seed " << seed;
    }
}

} // namespace
