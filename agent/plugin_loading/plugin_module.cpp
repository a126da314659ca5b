#include "plugin_module.h"

#include <dlfcn.h>

#include <stdexcept>

namespace KXL {

namespace {

std::string lastDlError(const std::string& fallback)
{
    const char* text = dlerror();
    return text != nullptr ? text : fallback;
}

PluginModule::EntryPoint findEntryPoint(void* handle, const std::string& path,
                                           const char* name)
{
    // Clears an earlier error, so that the text taken below is this lookup's. A null symbol
    // is refused whether or not dlerror has a text: an entry point cannot be null.
    dlerror();
    void* symbol = dlsym(handle, name);
    if (symbol == nullptr)
        throw std::runtime_error(lastDlError(path + ": entry point " + name + " is null"));
    return reinterpret_cast<PluginModule::EntryPoint>(symbol);
}

} // namespace

PluginModule::PluginModule(const std::string& path)
{
    m_handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (m_handle == nullptr)
        throw std::runtime_error(lastDlError(path + ": cannot be loaded"));
    try {
        m_init = findEntryPoint(m_handle, path, "initKXLPlugIn");
        m_fini = findEntryPoint(m_handle, path, "finiKXLPlugIn");
    } catch (...) {
        dlclose(m_handle);
        throw;
    }
}

PluginModule::~PluginModule()
{
    dlclose(m_handle);
}

} // namespace KXL
