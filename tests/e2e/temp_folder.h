// A fresh folder for one test, removed with everything in it when the test ends.
#ifndef TESTS_E2E_TEMP_FOLDER_H
#define TESTS_E2E_TEMP_FOLDER_H

#include <string>

namespace KXL::test {

class TempFolder {
public:
    explicit TempFolder(const std::string& prefix);
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& path() const { return m_path; }

private:
    std::string m_path;
};

} // namespace KXL::test

#endif
