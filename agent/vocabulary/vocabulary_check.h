// The layout rules of docs/vocabulary.md, checked: what `check` reports and what the agent
// publishes.
#ifndef AGENT_VOCABULARY_CHECK_H
#define AGENT_VOCABULARY_CHECK_H

#include <cstddef>
#include <string>
#include <vector>

#include "host/KXLMessageTree.h"
#include "agent/vocabulary/vocabulary_model.h"

namespace KXL {

struct VocabularyProblem {
    enum class Severity { Error, Warning };
    // What the problem is about, in document order: the document (its <message>), the top
    // element 1307, the container 1044, or the container's child number `item`.
    enum class Part { Document, Root, Container, Item };
    Severity severity;
    std::string location; // "document", "container", "item 5 (guest OS 3)"
    std::string message;
    Part part = Part::Document;
    std::size_t item = 0; // Part::Item: from 1
};

// Every way the document departs from the layout of docs/vocabulary.md, errors and
// warnings, in document order. No error means the document is a vocabulary the host
// publishes; a code listed both as supported and as experimental is only a warning.
std::vector<VocabularyProblem> checkVocabulary(const KXLDocument& document);

// "location: message" of the first error, and how many more there are; empty without errors.
std::string firstError(const std::vector<VocabularyProblem>& problems);

} // namespace KXL

#endif
