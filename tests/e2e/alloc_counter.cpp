// Preloaded into boxsim: counts the heap allocations that the plugin's own code makes once it
// polls the remote (its start-up is over), and prints the count at exit. Allocations of the host
// library on the plugin's behalf (FreeType in FBDrawString) are not the plugin's.
#include <cstdio>
#include <dlfcn.h>
#include <new>

extern "C" void* __libc_malloc(size_t size);
extern "C" void* __libc_calloc(size_t count, size_t size);
extern "C" void* __libc_realloc(void* pointer, size_t size);

namespace {

void* plugin_base; // the plugin's load address, known from its first poll of the remote
long allocations;  // written on the plugin's thread only

void* counted(void* pointer, void* caller)
{
    Dl_info info;
    allocations += plugin_base && dladdr(caller, &info) && info.dli_fbase == plugin_base;
    return pointer;
}

__attribute__((destructor)) void report()
{
    fprintf(stderr, "alloc_counter: main loop %s, plugin allocations after start-up: %ld\n",
            plugin_base ? "seen" : "never seen", allocations);
}

} // namespace

extern "C" void RcGetActCode(void)
{
    static auto real = reinterpret_cast<void (*)()>(dlsym(RTLD_NEXT, "RcGetActCode"));
    Dl_info info;
    if (!plugin_base && dladdr(__builtin_return_address(0), &info))
        plugin_base = info.dli_fbase;
    real();
}

extern "C" void* malloc(size_t size)
{
    return counted(__libc_malloc(size), __builtin_return_address(0));
}

extern "C" void* calloc(size_t count, size_t size)
{
    return counted(__libc_calloc(count, size), __builtin_return_address(0));
}

extern "C" void* realloc(void* pointer, size_t size)
{
    return counted(__libc_realloc(pointer, size), __builtin_return_address(0));
}

// Counted here, where the caller is the plugin's code (std::string and std::vector come here);
// the array and nothrow forms too, which libstdc++ would otherwise pass on from its own code.
// Allocations libc makes inside a call of the plugin's (strdup, fopen) are not seen.
void* operator new(size_t size)
{
    if (void* p = counted(__libc_malloc(size ? size : 1), __builtin_return_address(0)))
        return p;
    throw std::bad_alloc();
}
void* operator new[](size_t size)
{
    if (void* p = counted(__libc_malloc(size ? size : 1), __builtin_return_address(0)))
        return p;
    throw std::bad_alloc();
}
void* operator new(size_t size, const std::nothrow_t&) noexcept
{
    return counted(__libc_malloc(size ? size : 1), __builtin_return_address(0));
}
void* operator new[](size_t size, const std::nothrow_t&) noexcept
{
    return counted(__libc_malloc(size ? size : 1), __builtin_return_address(0));
}
