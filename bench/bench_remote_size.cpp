// Benchmark: asking the length of a large file (GetRemoteFileSize, as the run
// window does before every download) from the loopback test server, against
// its floor measured in the same rounds: one bare WinINet HEAD request for
// the same URL whose Content-Length is read. The goal is absolute: ours
// within 50 ms whatever the file's size.
// Usage: scripts/bench.sh remote_size [size in MB, default 100] [rounds, default 9]
#include <windows.h>
#include <wininet.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "BenchRounds.h"
#include "net/Download.h"
#include "support/TestSupport.h"

using namespace testing_support;

namespace {

// The length by one HEAD request and nothing else; -1 when it fails.
long long BareHeadLength(const std::string& path) {
    long long length = -1;
    HINTERNET session = ::InternetOpenA("floor", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
    HINTERNET connection = ::InternetConnectA(session, "127.0.0.1", static_cast<INTERNET_PORT>(HttpPort()),
                                              nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0);
    HINTERNET request = ::HttpOpenRequestA(connection, "HEAD", ("/" + path).c_str(), nullptr, nullptr, nullptr,
                                           INTERNET_FLAG_RELOAD | INTERNET_FLAG_DONT_CACHE, 0);
    if (request && ::HttpSendRequestA(request, nullptr, 0, nullptr, 0)) {
        char text[32] = {};
        DWORD size = sizeof text;
        if (::HttpQueryInfoA(request, HTTP_QUERY_CONTENT_LENGTH, text, &size, nullptr)) length = std::atoll(text);
    }
    for (HINTERNET handle : {request, connection, session})
        if (handle) ::InternetCloseHandle(handle);
    return length;
}

}  // namespace

int main(int argc, char** argv) {
    const long long megabytes = bench::PositiveArgument(argc, argv, 1, 100);
    const int rounds = static_cast<int>(bench::PositiveArgument(argc, argv, 2, 9));
    const long long size = megabytes * (1 << 20);
    const std::string name = "bench_size_" + std::to_string(::GetCurrentProcessId()) + ".bin";
    const std::string served = HttpRoot() + "\\" + name;
    if (HttpPort() == 0 || !WriteBytes(served, std::string(static_cast<size_t>(size), 'q'))) {
        std::fprintf(stderr, "cannot serve %s (run through scripts/bench.sh)\n", served.c_str());
        return 1;
    }
    std::printf("remote size of a %lld MB file at %s, %d rounds\n", megabytes, HttpUrl(name).c_str(), rounds);
    bench::Series ours{"ours", "GetRemoteFileSize", "ms"};
    bench::Series floor{"floor", "one bare WinINet HEAD request", "ms"};
    auto timed = [&](auto ask) {
        double t0 = bench::NowMs();
        long long length = ask();
        double ms = bench::NowMs() - t0;
        return length == size ? ms : -1.0;
    };
    bool ok = bench::RunRounds(rounds, {{&ours, [&] { return timed([&] { return (long long)GetRemoteFileSize(HttpUrl(name)); }); }},
                                        {&floor, [&] { return timed([&] { return BareHeadLength(name); }); }}});
    ::DeleteFileA(served.c_str());
    if (!ok) return 1;
    bench::PrintResult(ours, floor, {}, "ours <= 50 ms");
    return 0;
}
