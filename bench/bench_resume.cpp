// Benchmark: what an interrupted download costs. A pinned file is cut off
// at 60 % (the server drops the connection), then fetched again the way the
// run fetches it: the part on disk is continued with a Range request and the
// whole is checked against its pin. The floor is the same cut followed by a
// fetch from byte zero, as downloads went before they were continued. The
// figure is the bytes the server sent for the file, read from its log.
// Usage: scripts/bench.sh resume [size in MB, default 50] [rounds, default 3]
#include <windows.h>

#include <cstdio>
#include <string>

#include "BenchRounds.h"
#include "net/FetchVerified.h"
#include "support/RunFixtures.h"

using namespace testing_support;

namespace {

// The bytes the test server sent for `name` since `from` lines of its log.
double ServedMegabytes(const std::string& name, std::size_t from, long long size) {
    const std::vector<std::string> lines = HttpRequests();
    long long bytes = 0;
    for (std::size_t i = from; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        if (line.rfind("GET /" + name, 0) != 0) continue;
        const std::size_t drop = line.find("drop="), range = line.find(" range=");
        if (drop != std::string::npos) bytes += std::atoll(line.c_str() + drop + 5);
        else if (range != std::string::npos) bytes += size - std::atoll(line.c_str() + range + 7);
        else bytes += size;
    }
    return static_cast<double>(bytes) / (1 << 20);
}

}  // namespace

int main(int argc, char** argv) {
    const long long megabytes = bench::PositiveArgument(argc, argv, 1, 50);
    const int rounds = static_cast<int>(bench::PositiveArgument(argc, argv, 2, 3));
    const long long size = megabytes * (1 << 20), cut = size * 6 / 10;
    const std::string name = "bench_resume_" + std::to_string(::GetCurrentProcessId()) + ".bin";
    std::string bytes(static_cast<size_t>(size), '\0');
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7919 >> 5);
    if (HttpPort() == 0 || !WriteBytes(HttpRoot() + "\\" + name, bytes)) {
        std::fprintf(stderr, "cannot serve %s (run through scripts/bench.sh)\n", name.c_str());
        return 1;
    }
    Sha256Digest pin{};
    ParseSha256Hex(Sha256Hex(bytes), pin);
    ScopedTempDir dir("qfbench");
    const std::string local = dir.File(name);
    ServerSource server{std::string()};
    const Resource resource = server.Installer(HttpUrl(name));
    std::printf("a %lld MB pinned file cut off at 60 %%, then fetched again; %d rounds\n", megabytes, rounds);

    bench::Series ours{"ours", "continued with a Range request", "MB"};
    bench::Series floor{"floor", "fetched again from byte zero", "MB"};
    auto served = [&](bool resume) {
        ::DeleteFileA(local.c_str());
        ::DeleteFileA((local + ".part").c_str());
        const std::size_t before = HttpRequests().size();
        TransferToFile(HttpUrl(name + "?drop=" + std::to_string(cut)), local, TransferProgress());
        TransferOptions options;
        options.resume = resume;
        options.knownSize = static_cast<unsigned long long>(size);
        const FetchedFile file = FetchVerified(server, resource, local, VerifyRule::Pinned(pin), TransferProgress(), options);
        return file.Ok() ? ServedMegabytes(name, before, size) : -1.0;
    };
    const bool ok = bench::RunRounds(rounds, {{&ours, [&] { return served(true); }}, {&floor, [&] { return served(false); }}});
    ::DeleteFileA((HttpRoot() + "\\" + name).c_str());
    if (!ok) return 1;
    bench::PrintResult(ours, floor, {}, "<= 0.70");
    return 0;
}
