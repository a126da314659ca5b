// The same job as `host-agent run --catalog FILE`, written plainly with the libraries at hand,
// as the yardstick for the agent: nlohmann/json parse, two std::maps, a pugixml DOM built and
// saved indented, fsync, read back with load_buffer_inplace, walked and printed as a table.
//
//     reference_pipeline CATALOG.json OUT.voc > table.txt
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#include <nlohmann/json.hpp>
#include <pugixml.hpp>

namespace {

struct GuestOS {
    std::string identifier;
    std::string name;
};

using OSMap = std::map<unsigned, GuestOS>;

OSMap readMap(const nlohmann::json& list)
{
    OSMap map;
    for (const auto& entry : list)
        map[entry.at("code").get<unsigned>()] = {entry.value("property1", ""), entry.value("property2", "")};
    return map;
}

void text(pugi::xml_node parent, int tag, const std::string& value)
{
    pugi::xml_node element = parent.append_child("element");
    element.append_attribute("tag").set_value(tag);
    element.append_child("string").append_child(pugi::node_pcdata).set_value(value.c_str());
}

void number(pugi::xml_node parent, int tag, int value)
{
    pugi::xml_node element = parent.append_child("element");
    element.append_attribute("tag").set_value(tag);
    element.append_child("int").append_child(pugi::node_pcdata).set_value(std::to_string(value).c_str());
}

void named(pugi::xml_node parent, const char* name, int value)
{
    pugi::xml_node node = parent.append_child("named");
    node.append_attribute("name").set_value(name);
    node.append_child(pugi::node_pcdata).set_value(std::to_string(value).c_str());
}

void guests(pugi::xml_node container, const OSMap& map, bool experimental)
{
    for (const auto& [code, os] : map) {
        pugi::xml_node entry = container.append_child("element");
        entry.append_attribute("tag").set_value(1017);
        number(entry, 1010, static_cast<int>(code));
        text(entry, 1264, "guest_os_type");
        if (experimental)
            text(entry, 1264, "experimental");
        text(entry, 1846, os.identifier);
        text(entry, 1026, os.name);
        named(entry, "min_hdd_size", 100);
        named(entry, "max_hdd_size", 16777216);
        named(entry, "recommended_hdd_size", 65536);
        named(entry, "hdd_interface", 1);
        named(entry, "adapter_type", 3);
        named(entry, "boot_efi", 0);
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::cerr << "usage: reference_pipeline CATALOG.json OUT.voc\n";
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    const std::string json((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const nlohmann::json catalogue = nlohmann::json::parse(json);
    const OSMap supported = readMap(catalogue.at("supported"));
    const OSMap experimental = readMap(catalogue.at("experimental"));

    {
        pugi::xml_document xml;
        pugi::xml_node message = xml.append_child("message");
        message.append_attribute("format").set_value("1");
        message.append_attribute("kind").set_value(0);
        pugi::xml_node container = message.append_child("element");
        container.append_attribute("tag").set_value(1307);
        container = container.append_child("element");
        container.append_attribute("tag").set_value(1044);
        guests(container, supported, false);
        guests(container, experimental, true);
        if (!xml.save_file(argv[2], "  ", pugi::format_indent))
            return 1;
        const int fd = ::open(argv[2], O_RDONLY);
        ::fsync(fd);
        ::close(fd);
    }

    std::ifstream saved(argv[2], std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(saved)), std::istreambuf_iterator<char>());
    pugi::xml_document xml;
    if (!xml.load_buffer_inplace(bytes.data(), bytes.size()))
        return 1;
    std::vector<std::vector<std::string>> rows;
    std::vector<std::size_t> widths(10, 0);
    for (pugi::xml_node entry : xml.child("message").child("element").child("element").children("element")) {
        std::vector<std::string> row;
        bool experimentalEntry = false;
        for (pugi::xml_node child : entry.children()) {
            if (std::string(child.name()) == "named") {
                row.push_back(child.text().get());
                continue;
            }
            const int tag = child.attribute("tag").as_int();
            const std::string value = child.first_child().text().get();
            if (tag == 1264 && value == "experimental")
                experimentalEntry = true;
            else if (tag != 1264)
                row.push_back(value);
        }
        row.insert(row.begin() + 3, experimentalEntry ? "yes" : "no");
        for (std::size_t i = 0; i < row.size() && i < widths.size(); ++i)
            widths[i] = std::max(widths[i], row[i].size());
        rows.push_back(std::move(row));
    }
    for (const auto& row : rows) {
        std::string line;
        for (std::size_t i = 0; i < row.size() && i < widths.size(); ++i)
            line += row[i] + std::string(widths[i] - row[i].size() + 2, ' ');
        std::cout << line << '\n';
    }
    return 0;
}
