// A private copy of the staged install tree: the product plug-in in the built agent,
// writing only inside the copy.
#ifndef TESTS_E2E_INSTALL_COPY_H
#define TESTS_E2E_INSTALL_COPY_H

#include <string>
#include <vector>

#include "test_files.h"

namespace KXL::test {

class InstallCopy {
public:
    InstallCopy();

    std::string path(const std::string& name) const { return m_temp.file(name); }
    std::string agent() const { return path("bin/host-agent"); }
    std::string pluginFolder() const { return path("lib/host-agent/plugins/ZEVUruruzodovar"); }
    std::string vocabularyFile() const { return pluginFolder() + "/ZEVUruruzodovar.voc"; }

    // host-agent with these arguments, as argv.
    std::vector<std::string> agentCommand(const std::vector<std::string>& args) const;

    // Writes a JSON catalogue of `count` supported guest OSes named <prefix><number>
    // and returns its path.
    std::string writeCatalogue(const std::string& file, const std::string& prefix, int count) const;

private:
    test_files::TempFolder m_temp{"kxl-install-copy"};
};

// How often `word` occurs in `text` (an agent's output, say).
std::size_t occurrences(const std::string& text, const std::string& word);

} // namespace KXL::test

#endif
