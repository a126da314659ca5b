// A scriptable host that stands in for the six host libraries when the plug-in's source is
// linked into a test. It records every host call in order, can answer any of them with a
// chosen status or throw from it, and rebuilds the written message as a readable tree.
#ifndef TESTS_SUPPORT_TEST_HOST_H
#define TESTS_SUPPORT_TEST_HOST_H

#include <map>
#include <string>
#include <vector>

#include "host/KXPServer.h"

namespace test_host {

struct LogRecord {
    std::string module;
    std::string file;
    int line = 0;
    std::string function;
    std::string prettyFunction;
    int level = 0;
    std::string format;
    std::string message; // the format with its arguments applied
};

struct AbortReport {
    std::string module;
    std::string file;
    int line = 0;
    std::string function;
    std::string prettyFunction;
};

// What the host answers. Calls are named as they are recorded (see calls()).
struct Script {
    int sdkInit = 0;
    int create = 0;
    int login = 0;
    int getOSMaps = 0;
    KXP::KXPOSMap supported;
    KXP::KXPOSMap experimental;
    int save = 0;
    std::string pluginsFolder = "/host/plugins";
    std::string guid = "00000000-0000-4000-8000-000000000001";
    bool guidCounts = true; // each generate() bumps the last digits, so GUIDs differ
    bool nullErrorText = false; // getErrorMessage() answers a null pointer
    std::string errorText = "host error";
    bool nullMessage = false; // createNew() answers null
    bool nullIterator = false; // createIterator() answers null
    bool nullCache = false; // vocCacheLocal() answers an empty handle
    std::map<std::string, int> statusOf; // a recorded call text -> the status it answers
    std::string throwAt; // a recorded call text that throws std::runtime_error instead
};

// Starts a fresh scenario: forgets every record and applies the script.
void reset(const Script& script = Script());

const std::vector<std::string>& calls();
const std::vector<LogRecord>& logRecords();
const std::vector<AbortReport>& abortReports();

// The written message as indented text, one element or named value a line, or what the
// element at a tag path from the root holds (e.g. {1307, 1044}):
//   1017
//     1010 = 3
//     1264 = "guest_os_type"
//     min_hdd_size := 100
std::string tree(const std::vector<int>& path = {});

} // namespace test_host

#endif
