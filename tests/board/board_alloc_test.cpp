// The board's drawing allocates nothing: global operator new (and, outside the sanitizer build,
// malloc) are replaced for this test executable by versions that forward to the C allocator and
// count only while a test has armed them, so the other tests here are not disturbed.
#include <cstdlib>
#include <cstring>
#include <new>

#include <gtest/gtest.h>

#include "board/board.h"
#include "board/cursor.h"
#include "board/glyphs.h"
#include "host/gx9.h"
#include "ics/game_state.h"
#include "tests/support/test_screen.h"

namespace {

bool counting_armed;
int allocations_seen;

void note_allocation()
{
    if (counting_armed)
        ++allocations_seen;
}

void* allocate_or_throw(std::size_t size)
{
    note_allocation();
    if (void* p = std::malloc(size == 0 ? 1 : size))
        return p;
    throw std::bad_alloc();
}

// Counts the allocations made while it lives.
struct AllocationCounter {
    AllocationCounter()
    {
        allocations_seen = 0;
        counting_armed = true;
    }
    ~AllocationCounter() { counting_armed = false; }
    int count() const { return allocations_seen; }
};

} // namespace

void* operator new(std::size_t size)
{
    return allocate_or_throw(size);
}
void* operator new[](std::size_t size)
{
    return allocate_or_throw(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    note_allocation();
    return std::malloc(size == 0 ? 1 : size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept
{
    note_allocation();
    return std::malloc(size == 0 ? 1 : size);
}
void operator delete(void* p) noexcept
{
    std::free(p);
}
void operator delete[](void* p) noexcept
{
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept
{
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept
{
    std::free(p);
}

#if !defined(__SANITIZE_ADDRESS__)
// glibc's own entry points, so that malloc itself can be counted and forwarded.
extern "C" void* __libc_malloc(std::size_t);
extern "C" void* __libc_calloc(std::size_t, std::size_t);
extern "C" void* __libc_realloc(void*, std::size_t);
extern "C" void* malloc(std::size_t size)
{
    note_allocation();
    return __libc_malloc(size);
}
extern "C" void* calloc(std::size_t count, std::size_t size)
{
    note_allocation();
    return __libc_calloc(count, size);
}
extern "C" void* realloc(void* p, std::size_t size)
{
    note_allocation();
    return __libc_realloc(p, size);
}
constexpr bool kCountsMalloc = true;
#else
constexpr bool kCountsMalloc = false;
#endif

// The counter itself must see allocations, or the tests below would prove nothing.
TEST(NoAllocation, CounterSeesAllocations)
{
    int after_new = 0, after_malloc = 0;
    {
        AllocationCounter counter;
        delete new int(7);
        after_new = counter.count();
        void* (*volatile allocate)(std::size_t) = std::malloc;
        std::free(allocate(16));
        after_malloc = counter.count();
    }
    EXPECT_EQ(after_new, kCountsMalloc ? 2 : 1); // operator new forwards to malloc
    EXPECT_EQ(after_malloc, kCountsMalloc ? 3 : 1);
}

TEST(NoAllocation, FullRedrawCursorMarkersAndALeakingFillAllocateNothing)
{
    testsupport::TestScreen screen;
    init();
    std::memcpy(zeforboard, kStartPosition, sizeof kStartPosition);
    moving_enabled = 1;
    WeAreNotPlaying = 0;

    // Border lines below the board comb the black screen around it: one huge region whose
    // bottom row branches into more teeth than the fill's work stack holds.
    for (int x = 2; x <= 716; x += 2)
        FBDrawLine(x, 460, x, 574, 1);
    int seen = 0;
    reset_floodfill_stats();
    {
        AllocationCounter counter;
        draw_chess_board(zeforboard, 4, 2, 4, 2);
        draw_cursor(zeforboard, 4, 2, 5, 2);
        draw_markers(zeforboard, 5, 2, 5, 4);
        remove_markers(zeforboard, 5, 2, 5, 4);
        floodfill(601, 500, 0, 3, 1);
        seen = counter.count();
    }

    EXPECT_EQ(seen, 0);
    EXPECT_GT(floodfill_stats.sweeps, 0) << "the fill should have outgrown its work stack";
}
