// The loader when memory runs out: whichever allocation fails while the files are read, the
// exception leaves the constructor and no file stays open. The failures are injected by this
// program's own operator new, which the library's calls reach on ELF platforms only, and not under
// a memory checker that puts its own in place (the test skips there).

#include "profile_files.h"

#include <kel/profile.h>

#ifndef _WIN32

#include <cstdlib>
#include <new>

// Allocations that may still succeed; negative for no limit.
static long g_allocationsLeft = -1;

// Out of line, so that a memory checker replacing these replaces every use of them. The standard
// library's array forms come here.
__attribute__((noinline)) void* operator new(std::size_t size) {
    if (g_allocationsLeft == 0) {
        throw std::bad_alloc();
    }
    if (g_allocationsLeft > 0) {
        --g_allocationsLeft;
    }
    if (void* block = std::malloc(size != 0 ? size : 1)) {
        return block;
    }
    throw std::bad_alloc();
}
__attribute__((noinline)) void operator delete(void* block) noexcept {
    std::free(block);
}
__attribute__((noinline)) void operator delete(void* block, std::size_t) noexcept {
    std::free(block);
}

using profile_test::ProfileFiles;

TEST_F(ProfileFiles, EveryFailedAllocationWhileReadingLeavesNoFileOpen) {
    writeLocal("[s]\nk=1\nj=2\n[t]\nx=y\n");
    writeGlobal("[s]\ng=1\n[u]\nz=2\n");
    const long before = profile_test::entriesIn("/proc/self/fd");
    // Allocation number failures fails in each round, until the profile is read without one failing.
    long failures = 0;
    for (bool thrown = true; thrown && failures < 10000; failures += thrown ? 1 : 0) {
        thrown = false;
        g_allocationsLeft = failures;
        try {
            Kel::Profile profile("app.ini", "app.ini");
            g_allocationsLeft = -1;
            EXPECT_EQ(profile.getProfileLong("u", "z", 0), 2);
        } catch (const std::bad_alloc&) {
            thrown = true;
        }
        g_allocationsLeft = -1;
        if (failures == 0 && !thrown) {
            GTEST_SKIP() << "operator new is not this program's: a memory checker replaced it";
        }
        EXPECT_EQ(profile_test::entriesIn("/proc/self/fd"), before) << "allocation " << failures << " failed";
    }
    // Reading two files takes allocations; each of them was made to fail once.
    EXPECT_GT(failures, 4);
}

#endif
