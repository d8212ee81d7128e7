// The time --auto takes to decide a file's rules from its first bytes, in the program itself
// (free of process start-up, which load from other programs makes noisy): each file's first
// 64 KiB sniffed 50 times. usage: quarrytab-sniff-bench FILE...
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "engine/sniffer.h"

int main(int argc, char* argv[]) {
    using Clock = std::chrono::steady_clock;
    constexpr int kRuns = 50;
    double total = 0;
    double slowest = 0;
    std::string slowestName;
    for (int i = 1; i < argc; ++i) {
        std::ifstream file(argv[i], std::ios::binary);
        std::string sample(std::istreambuf_iterator<char>(file), {});
        const bool complete = sample.size() <= quarrytab::kSniffBytes;
        sample.resize(std::min(sample.size(), quarrytab::kSniffBytes));
        quarrytab::ConversionOptions options;
        options.AutoRules = true;
        std::size_t fields = 0;
        const auto start = Clock::now();
        for (int run = 0; run < kRuns; ++run) {
            fields += quarrytab::SniffSample(sample, complete, options).fields;
        }
        const double ms =
            std::chrono::duration<double, std::milli>(Clock::now() - start).count() / kRuns;
        total += ms;
        if (ms > slowest) {
            slowest = ms;
            slowestName = argv[i];
        }
        if (fields == 0) {
            std::printf("%s: no table found\n", argv[i]);
        }
    }
    if (argc > 1) {
        std::printf("sniffing: %.3f ms per file on average over %d files, at most %.3f ms (%s)\n",
                    total / (argc - 1), argc - 1, slowest, slowestName.c_str());
    }
    return 0;
}
