// The two entry points a plug-in exports by their plain names.
#ifndef TESTS_PLUGINS_PLUGIN_ENTRY_POINTS_H
#define TESTS_PLUGINS_PLUGIN_ENTRY_POINTS_H

extern "C" {
__attribute__((visibility("default"))) int initKXLPlugIn();
__attribute__((visibility("default"))) int finiKXLPlugIn();
}

#endif
