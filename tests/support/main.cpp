// The test programs' entry point. On Windows the application, not the library, starts Windows Sockets.

#include <gtest/gtest.h>

#ifdef _WIN32
#include <winsock2.h>
#endif

int main(int argc, char** argv) {
#ifdef _WIN32
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0) {
        return 2;
    }
#endif
    ::testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
#ifdef _WIN32
    WSACleanup();
#endif
    return result;
}
