// One loaded plug-in shared object and its two entry points.
#ifndef AGENT_PLUGIN_MODULE_H
#define AGENT_PLUGIN_MODULE_H

#include <string>

namespace KXL {

class KXLPluginModule {
public:
    using EntryPoint = int (*)();

    // dlopen (RTLD_NOW | RTLD_LOCAL) and look up initKXLPlugIn and finiKXLPlugIn.
    // std::runtime_error with dlerror's text when the file does not load or an entry
    // point is missing; nothing stays loaded then.
    explicit KXLPluginModule(const std::string& path);
    ~KXLPluginModule(); // dlclose
    KXLPluginModule(const KXLPluginModule&) = delete;
    KXLPluginModule& operator=(const KXLPluginModule&) = delete;

    EntryPoint init() const { return m_init; }
    EntryPoint fini() const { return m_fini; }

private:
    void* m_handle = nullptr;
    EntryPoint m_init = nullptr;
    EntryPoint m_fini = nullptr;
};

} // namespace KXL

#endif
