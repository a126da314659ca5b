// The published vocabulary's entries as the tests render trees: one element or named
// value a line, two spaces a level ("1010 = 3", "1264 = \"text\"", "min_hdd_size := 100").
#ifndef TESTS_SUPPORT_EXPECTED_VOCABULARY_H
#define TESTS_SUPPORT_EXPECTED_VOCABULARY_H

#include <string>

namespace expected_vocabulary {

inline std::string versionEntry(const std::string& stamp)
{
    return "1017\n"
           "  1010 = \"vocversion\"\n"
           "  1264 = \"vocabulary\"\n"
           "  1307 = \"" +
        stamp +
        "\"\n"
        "  1303 = \"Vocabulary version\"\n";
}

// The three category definitions and the three network adapters, in document order.
inline std::string categoriesAndAdapters()
{
    return "1264\n"
           "  1010 = \"kxp_network_adapter_type\"\n"
           "1264\n"
           "  1010 = \"guest_os_type\"\n"
           "1264\n"
           "  1010 = \"experimental\"\n"
           "1017\n"
           "  1010 = 1\n"
           "  1264 = \"kxp_network_adapter_type\"\n"
           "  1026 = \"Realtek RTL8139\"\n"
           "1017\n"
           "  1010 = 2\n"
           "  1264 = \"kxp_network_adapter_type\"\n"
           "  1026 = \"Intel PRO/1000 MT\"\n"
           "1017\n"
           "  1010 = 3\n"
           "  1264 = \"kxp_network_adapter_type\"\n"
           "  1026 = \"VirtIO\"\n";
}

// One guest OS entry; `code` as the int the file holds.
inline std::string guestEntry(const std::string& code, const std::string& id,
                              const std::string& name, bool experimental)
{
    return "1017\n  1010 = " + code + "\n  1264 = \"guest_os_type\"\n" +
        (experimental ? "  1264 = \"experimental\"\n" : "") + "  1846 = \"" + id +
        "\"\n  1026 = \"" + name +
        "\"\n"
        "  min_hdd_size := 100\n"
        "  max_hdd_size := 16777216\n"
        "  recommended_hdd_size := 65536\n"
        "  hdd_interface := 1\n"
        "  adapter_type := 3\n"
        "  boot_efi := 0\n";
}

} // namespace expected_vocabulary

#endif
