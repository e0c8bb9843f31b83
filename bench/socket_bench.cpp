// Loopback throughput: 100 MB sent by one thread and received by another, through Socket::send and
// Socket::recv, and through the raw system calls as the baseline. Both run in the same process over the
// same kind of connection; compare the bytes_per_second of the two.

#include <kel/net.h>

#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <stdexcept>
#include <string>
#include <thread>

using namespace Kel;

namespace {

const std::size_t kTotal = 100u << 20;
const std::size_t kChunk = 64u << 10;

// A free port from 24000 on for a Socket listener.
Socket kelListener(unsigned short& port) {
    for (port = 24000; port < 25000; ++port) {
        Socket s;
        try {
            s.bind(static_cast<short>(port));
            s.listen();
            return s;
        } catch (const SocketException&) {
        }
    }
    throw std::runtime_error("no free port");
}

void BM_SocketLoopback(benchmark::State& state) {
    unsigned short port = 0;
    Socket listener = kelListener(port);
    Socket client;
    client.connect("127.0.0.1", static_cast<short>(port));
    Socket server = listener.accept();
    const String chunk(std::string(kChunk, 'k').c_str());

    String in;
    for (auto _ : state) {
        std::thread sender([&client, &chunk] {
            for (std::size_t sent = 0; sent < kTotal;) {
                unsigned long n = client.send(chunk);
                if (n == 0xFFFFFFFFul) {
                    return;
                }
                sent += n;
            }
        });
        std::size_t received = 0;
        while (received < kTotal) {
            received += server.recv(in, 0xFFFFFFFFul);
        }
        sender.join();
        benchmark::DoNotOptimize(in);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kTotal));
    client.close();
    server.close();
    listener.close();
}

void BM_RawLoopback(benchmark::State& state) {
    int listener = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener, 1) != 0 ||
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        throw std::runtime_error("raw listener");
    }
    int client = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (::connect(client, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        throw std::runtime_error("raw connect");
    }
    int server = ::accept(listener, nullptr, nullptr);
    const std::string chunk(kChunk, 'r');

    std::string in(kChunk, '\0');
    for (auto _ : state) {
        std::thread sender([client, &chunk] {
            for (std::size_t sent = 0; sent < kTotal;) {
                ssize_t n = ::send(client, chunk.data(), chunk.size(), MSG_NOSIGNAL);
                if (n < 0) {
                    return;
                }
                sent += static_cast<std::size_t>(n);
            }
        });
        std::size_t received = 0;
        while (received < kTotal) {
            ssize_t n = ::recv(server, &in[0], in.size(), 0);
            if (n <= 0) {
                break;
            }
            received += static_cast<std::size_t>(n);
        }
        sender.join();
        benchmark::DoNotOptimize(in);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kTotal));
    ::close(client);
    ::close(server);
    ::close(listener);
}

} // namespace

BENCHMARK(BM_SocketLoopback)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_RawLoopback)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
