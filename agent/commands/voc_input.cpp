#include "voc_input.h"

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/file_io.h"
#include "common/text_prefix.h"
#include "host/KXLError.h"
#include "host/KXLMessageFile.h"
#include "host/lib/KXLMessage/message_file_failure.h"
#include "common/text_escape.h"

namespace KXL {

namespace {

constexpr char kStandardInput[] = "standard input";

} // namespace

VocInput::VocInput(const std::string& path) : m_path(path)
{
    // A pipe or a terminal named by a path (`<(...)`, /dev/stdin) is read whole, as standard
    // input is; a file is read where it lies.
    struct stat status {};
    if (path != "-" && (::stat(path.c_str(), &status) != 0 || !(S_ISFIFO(status.st_mode) || S_ISCHR(status.st_mode))))
        return;
    m_whole = true;
    sys::Fd named;
    if (path != "-") {
        named = sys::openToRead(path, status, m_readError, "cannot examine");
        if (!named)
            return;
    }
    // As much as the reader takes from a file.
    switch (sys::readAll(named ? named.get() : STDIN_FILENO, m_bytes, kMaxVocFileSize)) {
    case sys::ReadResult::Done:
        break;
    case sys::ReadResult::Failed:
        m_readError = sys::errorText("cannot read", errno);
        break;
    case sys::ReadResult::TooLarge:
        m_readError = "it is larger than " + std::to_string(kMaxVocFileSize >> 20) + " MiB";
        break;
    }
}

bool VocInput::load(KXLDocument& document, std::string& reason) const
{
    if (!m_readError.empty()) {
        reason = m_readError;
        return false;
    }
    const std::string name = m_path == "-" ? kStandardInput : voc::quotedPath(m_path);
    if ((m_whole ? loadDocumentFromBytes(m_bytes, name, document) : loadDocument(m_path, document)) == 0)
        return true;
    // The caller names the input.
    reason = withoutPrefix(getErrorMessage(), voc::loadFailurePrefix(name));
    return false;
}

bool VocInput::readAgain(const std::function<bool(std::string_view)>& chunk) const
{
    if (m_whole) {
        if (!m_readError.empty())
            return false;
        chunk(m_bytes);
        return true;
    }
    const sys::Fd file(::open(m_path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY));
    return file && sys::readEach(file.get(), chunk);
}

std::string inputName(const std::string& path)
{
    return path == "-" ? std::string(kStandardInput) : quoteText(path);
}

bool readVocabularyFile(const std::string& path, const char* verb, KXLDocument& document,
                        std::ostream& err)
{
    const VocInput input(path);
    std::string reason;
    if (input.load(document, reason))
        return true;
    err << "host-agent: cannot " << verb << ' ' << inputName(path) << ": " << escapeMessage(reason) << '\n';
    return false;
}

} // namespace KXL
