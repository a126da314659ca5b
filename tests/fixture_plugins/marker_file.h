// Evidence for the tests that an entry point ran: an empty file in the plug-in's folder.
#ifndef TESTS_PLUGINS_MARKER_FILE_H
#define TESTS_PLUGINS_MARKER_FILE_H

#include <string>

// Creates <plug-in folder>/<plugin>/<marker>; false when it could not be written.
bool writeMarker(const std::string& plugin, const std::string& marker);

#endif
