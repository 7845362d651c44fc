// Preloaded into boxsim: counts the heap allocations that the plugin's own code makes once its
// main loop runs (from the first poll of the remote control on). The count is printed at exit
// as "alloc_counter: plugin allocations after start-up: N".
#include <atomic>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <dlfcn.h>
#include <link.h>
#include <new>

extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* pointer, size_t size);
void __libc_free(void* pointer);
}

namespace {

struct Range {
    uintptr_t begin;
    uintptr_t end;
};

Range plugin_ranges[8];
std::atomic<int> range_count{0};
std::atomic<bool> main_loop_started{false};
std::atomic<long> allocations_after_start{0};

int find_plugin(dl_phdr_info* info, size_t, void*)
{
    const char* name = info->dlpi_name;
    size_t length = strlen(name);
    const char suffix[] = "vitrel3.so";
    if (length < sizeof suffix - 1 || strcmp(name + length - (sizeof suffix - 1), suffix) != 0)
        return 0;
    int n = 0;
    for (int i = 0; i < info->dlpi_phnum && n < 8; ++i) {
        const ElfW(Phdr)& header = info->dlpi_phdr[i];
        if (header.p_type == PT_LOAD && (header.p_flags & PF_X))
            plugin_ranges[n++] = {info->dlpi_addr + header.p_vaddr,
                                  info->dlpi_addr + header.p_vaddr + header.p_memsz};
    }
    range_count = n;
    return 1;
}

void count_if_plugin(void* caller)
{
    if (!main_loop_started.load(std::memory_order_relaxed))
        return;
    auto address = reinterpret_cast<uintptr_t>(caller);
    for (int i = 0; i < range_count.load(); ++i)
        if (address >= plugin_ranges[i].begin && address < plugin_ranges[i].end)
            ++allocations_after_start;
}

struct Report {
    ~Report()
    {
        fprintf(stderr, "alloc_counter: main loop %s, plugin allocations after start-up: %ld\n",
                main_loop_started ? "seen" : "never seen", allocations_after_start.load());
    }
} report;

}  // namespace

extern "C" {

void RcGetActCode(void)
{
    using Poll = void (*)();
    static Poll real = reinterpret_cast<Poll>(dlsym(RTLD_NEXT, "RcGetActCode"));
    if (!main_loop_started) {
        dl_iterate_phdr(find_plugin, nullptr);
        main_loop_started = true;
    }
    real();
}

void* malloc(size_t size)
{
    count_if_plugin(__builtin_return_address(0));
    return __libc_malloc(size);
}

void* calloc(size_t count, size_t size)
{
    count_if_plugin(__builtin_return_address(0));
    return __libc_calloc(count, size);
}

void* realloc(void* pointer, size_t size)
{
    count_if_plugin(__builtin_return_address(0));
    return __libc_realloc(pointer, size);
}

}  // extern "C"

void* operator new(size_t size)
{
    count_if_plugin(__builtin_return_address(0));
    void* p = __libc_malloc(size ? size : 1);
    if (!p)
        throw std::bad_alloc();
    return p;
}

void* operator new[](size_t size)
{
    count_if_plugin(__builtin_return_address(0));
    void* p = __libc_malloc(size ? size : 1);
    if (!p)
        throw std::bad_alloc();
    return p;
}

void operator delete(void* p) noexcept { __libc_free(p); }
void operator delete[](void* p) noexcept { __libc_free(p); }
void operator delete(void* p, size_t) noexcept { __libc_free(p); }
void operator delete[](void* p, size_t) noexcept { __libc_free(p); }
