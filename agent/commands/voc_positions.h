// Where the parts of a vocabulary lie in its .voc file, for messages that point into it.
// The message tree keeps no positions, so the input is read again, by expat.
#ifndef AGENT_VOC_POSITIONS_H
#define AGENT_VOC_POSITIONS_H

#include <cstddef>
#include <string>
#include <vector>

#include "agent/commands/voc_input.h"
#include "agent/vocabulary/vocabulary_check.h"

namespace KXL {

struct FilePosition {
    std::size_t line = 0; // from 1; 0 when unknown
    std::size_t column = 0; // from 1, in characters; 0 when unknown
};

// Where the start tag of each problem's part lies: <message> for the document, its element
// for the top element, the container or an item. Unknown where the file does not tell.
std::vector<FilePosition> problemPositions(const VocInput& input,
                                              const std::vector<VocabularyProblem>& problems);

// The position just past the file's last byte, counted as expat counts (LineColumn);
// unknown when it cannot be read.
FilePosition endPosition(const VocInput& input);

} // namespace KXL

#endif
