// One loaded plug-in shared object and its two entry points.
#ifndef AGENT_PLUGIN_MODULE_H
#define AGENT_PLUGIN_MODULE_H

#include <string>

namespace KXL {

class PluginModule {
public:
    using EntryPoint = int (*)();

    // dlopen (RTLD_NOW | RTLD_LOCAL) and look up initKXLPlugIn and finiKXLPlugIn.
    // std::runtime_error with dlerror's text when the file does not load or an entry
    // point is missing; nothing stays loaded then.
    explicit PluginModule(const std::string& path);
    ~PluginModule(); // dlclose
    PluginModule(const PluginModule&) = delete;
    PluginModule& operator=(const PluginModule&) = delete;

    EntryPoint init() const { return m_init; }
    EntryPoint fini() const { return m_fini; }

private:
    void* m_handle = nullptr;
    EntryPoint m_init = nullptr;
    EntryPoint m_fini = nullptr;
};

} // namespace KXL

#endif
