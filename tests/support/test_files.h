// Scratch folders and whole-file reads and writes for tests.
#ifndef TESTS_SUPPORT_TEST_FILES_H
#define TESTS_SUPPORT_TEST_FILES_H

#include <set>
#include <string>

namespace test_files {

// A fresh folder under the system's temporary folder, removed with everything in it when
// the test ends.
class TempFolder {
public:
    explicit TempFolder(const std::string& prefix = "kxl-test");
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& path() const { return m_path; }
    std::string file(const std::string& name) const { return m_path + "/" + name; }

    // Writes a file inside the folder and returns its path.
    std::string write(const std::string& name, const std::string& bytes) const;

    // Every entry name, hidden ones included: temporary files must not linger.
    std::set<std::string> entries() const;

private:
    std::string m_path;
};

// Both throw std::runtime_error naming the path when the file cannot be read or written.
std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& bytes);

} // namespace test_files

#endif
