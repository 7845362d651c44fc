// Loading the host library and a plugin, and running the plugin's entry point on its own thread.
#pragma once

#include <signal.h>

#include <array>
#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>

namespace boxsim {

// A node of the host's parameter list: key, value (decimal text), next; as a box builds it.
struct ParameterNode {
    const char* key;
    const char* value;
    ParameterNode* next;
};

using PluginExec = int (*)(ParameterNode*);

struct PluginParameters {
    int fd_framebuffer = -1;
    int fd_rcinput = -1;
    bool no_pig = false;
    int fd_lcd = -1;
};

// "fd_framebuffer", "fd_rcinput", "no_pig", "fd_lcd", in this order; owns its texts.
class ParameterList {
  public:
    explicit ParameterList(const PluginParameters& parameters);
    ParameterList(const ParameterList&) = delete;
    ParameterList& operator=(const ParameterList&) = delete;
    ParameterNode* head() { return &nodes_[0]; }

  private:
    std::array<std::string, 4> values_;
    std::array<ParameterNode, 4> nodes_;
};

// A library loaded with dlopen, closed with its owner.
class LoadedLibrary {
  public:
    // throws std::runtime_error with dlerror()'s message
    LoadedLibrary(const std::filesystem::path& path, int flags);
    ~LoadedLibrary();
    LoadedLibrary(const LoadedLibrary&) = delete;
    LoadedLibrary& operator=(const LoadedLibrary&) = delete;
    void* symbol(const char* name) const; // throws std::runtime_error when missing
    void keep_loaded() { handle_ = nullptr; }

  private:
    void* handle_;
};

// The host library (loaded globally, so the plugin's undefined symbols find it) and the plugin.
class PluginRun {
  public:
    PluginRun(const std::filesystem::path& gx9, const std::filesystem::path& plugin);
    // Joins the thread when the plugin has returned. A plugin still running is left running
    // and both libraries stay loaded: the process is about to end anyway.
    ~PluginRun();
    PluginRun(const PluginRun&) = delete;
    PluginRun& operator=(const PluginRun&) = delete;

    // Calls plugin_exec on a new thread with the signal mask `mask`; on_return gets its result
    // on that thread.
    void start(const PluginParameters& parameters, const sigset_t& mask,
               std::function<void(int)> on_return);

  private:
    LoadedLibrary gx9_;
    LoadedLibrary plugin_;
    PluginExec exec_;
    std::unique_ptr<ParameterList> parameters_;
    std::thread thread_;
    std::atomic<bool> returned_{false};
};

} // namespace boxsim
