// Lines per second through the management client's read path (decode, cut, handle),
// fed in 2048-byte reads as the loop gets them from the socket.
#include "vpn/OpenVPNManagement.h"

#include <benchmark/benchmark.h>

namespace {

struct CountingSink : StateSink {
    size_t words = 0;
    void updateState(const std::string&) override { ++words; }
};

void readPath(benchmark::State& state, const std::string& line) {
    std::string stream;
    while (stream.size() < 1 << 20)
        stream += line;
    CountingSink sink;
    OpenVPNManagement management(sink);
    size_t lines = 0;
    for (auto _ : state) {
        OpenVPNManagement::ReadBuffer buffer;
        for (size_t i = 0; i < stream.size(); i += OpenVPNManagement::readSize)
            management.receive(buffer,
                               std::string_view(stream).substr(i, OpenVPNManagement::readSize));
        lines += stream.size() / line.size();
    }
    state.counters["lines/s"] =
        benchmark::Counter(static_cast<double>(lines), benchmark::Counter::kIsRate);
    benchmark::DoNotOptimize(sink.words);
}

void StateLines(benchmark::State& state) {
    readPath(state, ">STATE:1700000000,CONNECTED,SUCCESS,10.8.0.2,192.0.2.1,1194,,\r\n");
}
void ByteCountLines(benchmark::State& state) {
    readPath(state, ">BYTECOUNT:123456789,987654321\r\n");
}
void NonAsciiStateLines(benchmark::State& state) {
    readPath(state, ">STATE:1700000000,RECONNECTING,caf\xC3\xA9 \xE2\x82\xAC,,\r\n");
}

BENCHMARK(StateLines);
BENCHMARK(ByteCountLines);
BENCHMARK(NonAsciiStateLines);

} // namespace

BENCHMARK_MAIN();
