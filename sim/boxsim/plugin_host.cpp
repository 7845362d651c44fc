// dlopen of the host library and the plugin, the parameter list, and the plugin's thread.
#include "sim/boxsim/plugin_host.h"

#include <dlfcn.h>
#include <pthread.h>

#include <stdexcept>

namespace boxsim {

ParameterList::ParameterList(const PluginParameters& p)
    : values_{std::to_string(p.fd_framebuffer), std::to_string(p.fd_rcinput), p.no_pig ? "1" : "0",
              std::to_string(p.fd_lcd)},
      nodes_{{{"fd_framebuffer", values_[0].c_str(), &nodes_[1]},
              {"fd_rcinput", values_[1].c_str(), &nodes_[2]},
              {"no_pig", values_[2].c_str(), &nodes_[3]},
              {"fd_lcd", values_[3].c_str(), nullptr}}}
{
}

LoadedLibrary::LoadedLibrary(const std::filesystem::path& path, int flags)
    : handle_(dlopen(path.c_str(), flags))
{
    if (handle_ == nullptr)
        throw std::runtime_error(std::string("dlopen: ") + dlerror());
}

LoadedLibrary::~LoadedLibrary()
{
    if (handle_ != nullptr)
        dlclose(handle_);
}

void* LoadedLibrary::symbol(const char* name) const
{
    dlerror();
    void* address = dlsym(handle_, name);
    if (address == nullptr) {
        const char* error = dlerror();
        throw std::runtime_error(std::string("dlsym ") + name + ": " +
                                 (error ? error : "null symbol"));
    }
    return address;
}

PluginRun::PluginRun(const std::filesystem::path& gx9, const std::filesystem::path& plugin)
    : gx9_(gx9, RTLD_NOW | RTLD_GLOBAL), plugin_(plugin, RTLD_NOW | RTLD_LOCAL),
      exec_(reinterpret_cast<PluginExec>(plugin_.symbol("plugin_exec")))
{
}

PluginRun::~PluginRun()
{
    if (!thread_.joinable())
        return;
    if (returned_.load()) {
        thread_.join();
        return;
    }
    thread_.detach();
    plugin_.keep_loaded();
    gx9_.keep_loaded();
}

void PluginRun::start(const PluginParameters& parameters, const sigset_t& mask,
                      std::function<void(int)> on_return)
{
    parameters_ = std::make_unique<ParameterList>(parameters);
    thread_ = std::thread([this, mask, on_return = std::move(on_return)] {
        pthread_sigmask(SIG_SETMASK, &mask, nullptr);
        const int result = exec_(parameters_->head());
        returned_.store(true);
        on_return(result);
    });
}

} // namespace boxsim
