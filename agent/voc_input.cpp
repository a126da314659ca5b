#include "voc_input.h"

#include "host/KXLError.h"
#include "host/KXLMessageFile.h"
#include "stdin_file.h"
#include "text_escape.h"

namespace KXL {

std::string withoutPrefix(const std::string& message, const std::string& prefix)
{
    return message.compare(0, prefix.size(), prefix) == 0 ? message.substr(prefix.size()) : message;
}

KXLVocInput::KXLVocInput(const std::string& path) : m_path(path)
{
    if (path != "-") {
        m_readable = path;
        return;
    }
    // As much as the reader takes from a file.
    m_copy = std::make_unique<KXLStdinFile>(kMaxVocFileSize);
    if (m_copy->ok())
        m_readable = m_copy->path();
}

KXLVocInput::~KXLVocInput() = default;

bool KXLVocInput::load(KXLDocument& document, std::string& reason)
{
    if (m_copy && !m_copy->ok()) {
        reason = m_copy->error();
        return false;
    }
    if (loadDocument(m_readable, document) == 0)
        return true;
    // The caller names the file; for standard input the loader named the temporary copy,
    // which means nothing to the user.
    reason = withoutPrefix(getErrorMessage(), "cannot load \"" + m_readable + "\": ");
    return false;
}

std::string inputName(const std::string& path)
{
    return path == "-" ? std::string("standard input") : quoteText(path);
}

bool readVocabularyFile(const std::string& path, const char* verb, KXLDocument& document,
                        std::ostream& err)
{
    KXLVocInput input(path);
    std::string reason;
    if (input.load(document, reason))
        return true;
    err << "host-agent: cannot " << verb << ' ' << inputName(path) << ": " << escapeText(reason) << '\n';
    return false;
}

} // namespace KXL
