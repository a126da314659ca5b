// How saveDocument and loadDocument begin an error text. The agent, which names the file in
// its own words, drops these words and must find them exactly as they were written.
#ifndef KXLMESSAGE_MESSAGEFILEFAILURE_H
#define KXLMESSAGE_MESSAGEFILEFAILURE_H

#include <string>
#include <string_view>

namespace KXL::voc {

// A file as these error texts name it.
inline std::string quotedPath(std::string_view path)
{
    return '"' + std::string(path) + '"';
}

inline std::string saveFailurePrefix(std::string_view path)
{
    return "cannot save " + quotedPath(path) + ": ";
}

// `name`: quotedPath of the file, or the name loadDocumentFromBytes was given.
inline std::string loadFailurePrefix(std::string_view name)
{
    return "cannot load " + std::string(name) + ": ";
}

} // namespace KXL::voc

#endif
