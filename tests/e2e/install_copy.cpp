#include "install_copy.h"

#include <filesystem>

namespace KXL::test {

namespace fs = std::filesystem;

InstallCopy::InstallCopy()
{
    for (const char* part : {"bin", "lib"})
        fs::copy(std::string(KXL_STAGE_DIR) + "/" + part, path(part), fs::copy_options::recursive);
    fs::remove(vocabularyFile()); // left by an earlier run in the stage, if any
}

std::vector<std::string> InstallCopy::agentCommand(const std::vector<std::string>& args) const
{
    std::vector<std::string> argv{agent()};
    argv.insert(argv.end(), args.begin(), args.end());
    return argv;
}

std::string InstallCopy::writeCatalogue(const std::string& file, const std::string& prefix,
                                        int count) const
{
    std::string json = "{ \"supported\": [";
    for (int i = 0; i < count; ++i) {
        const std::string number = std::to_string(i);
        json += (i == 0 ? "\n" : ",\n");
        json += "{ \"code\": " + number + ", \"property1\": \"" + prefix + number +
            "\", \"property2\": \"Guest " + number + "\" }";
    }
    json += " ],\n  \"experimental\": [] }\n";
    return m_temp.write(file, json);
}

std::size_t occurrences(const std::string& text, const std::string& word)
{
    std::size_t count = 0;
    for (std::size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1))
        ++count;
    return count;
}

} // namespace KXL::test
