#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/blackbox/trace_child.h"

namespace {

const std::string READY = "BRASKELOT_WIN_INPUT_READY\r\n";

// splitmix64 from a fixed seed, so a failing run can be repeated byte for byte.
struct random_bytes {
    uint64_t state = 0x5eed5eed5eed5eedull;
    uint64_t left;

    explicit random_bytes(uint64_t count) : left(count) {}

    uint64_t next() {
        uint64_t z = (state += 0x9e3779b97f4a7c15ull);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
        return z ^ (z >> 31);
    }

    size_t fill(char* buffer, size_t capacity) {
        const size_t count = left < capacity ? static_cast<size_t>(left) : capacity;
        for (size_t k = 0; k < count; k += 8) {
            const uint64_t word = next();
            for (size_t b = 0; b < 8 && k + b < count; ++b) buffer[k + b] = static_cast<char>(word >> (8 * b));
        }
        left -= count;
        return count;
    }
};

struct random_run {
    child_result child;
    long peak_rss_kb = 0;
    std::vector<std::string> trace; ///< without the probe's line
};

// The program runs under the probe, which adds its figure as the last line.
random_run run_random(uint64_t bytes) {
    random_bytes source(bytes);
    child_options options;
    options.timeout_ms = 600000;
    options.launcher = BRASKELOT_PEAK_RSS_PROBE;
    random_run run;
    run.child = run_trace_program_streamed([&](char* buffer, size_t capacity) { return source.fill(buffer, capacity); },
                                           options);
    run.trace = trace_lines(run.child.err);
    if (!run.trace.empty() && std::sscanf(run.trace.back().c_str(), "peak_rss_kb %ld", &run.peak_rss_kb) == 1) {
        run.trace.pop_back();
    }
    return run;
}

std::vector<std::string> last_lines(std::vector<std::string> lines, size_t count) {
    if (lines.size() > count) lines.erase(lines.begin(), lines.end() - static_cast<std::ptrdiff_t>(count));
    return lines;
}

// The size defaults to 1 GiB; BRASKELOT_FLOOD_BYTES can change it.
uint64_t flood_bytes() {
    const char* text = std::getenv("BRASKELOT_FLOOD_BYTES");
    if (text == nullptr) return uint64_t{1} << 30;
    return std::strtoull(text, nullptr, 10);
}

// Identical runs differ in peak RSS by up to a few hundred KiB (the loader
// faults library pages in windows that depend on the address layout), so the
// 1 KiB baseline is the highest of three runs and flat means within 1 MiB of
// it: at 1 GiB that still shows any growth of a byte per KiB of input.
constexpr long RSS_NOISE_KB = 1024;

// Memory must not grow with the amount of input: the reader has two fixed
// buffers, whatever arrives.
TEST(HostileInput, RandomBytesKeepMemoryFlat) {
    std::vector<random_run> runs;
    for (int k = 0; k < 3; ++k) runs.push_back(run_random(1024));
    const uint64_t bytes = flood_bytes();
    runs.push_back(run_random(bytes));
    long baseline_kb = 0;
    for (size_t k = 0; k < runs.size(); ++k) {
        SCOPED_TRACE(k);
        EXPECT_FALSE(runs[k].child.timed_out);
        EXPECT_EQ(runs[k].child.exit_code, 0);
        EXPECT_GT(runs[k].peak_rss_kb, 0);
        EXPECT_EQ(last_lines(runs[k].trace, 4), modifier_releases()); // the end of input released
        if (k < 3 && runs[k].peak_rss_kb > baseline_kb) baseline_kb = runs[k].peak_rss_kb;
    }
    const long large_kb = runs.back().peak_rss_kb;
    std::printf("peak RSS: %ld KiB after 1 KiB of random input (highest of 3 runs), %ld KiB after %llu bytes\n",
                baseline_kb, large_kb, static_cast<unsigned long long>(bytes));
    EXPECT_LE(large_kb, baseline_kb + RSS_NOISE_KB);
}

std::string ten_megabytes_after(const std::string& start) {
    std::string line = start;
    line.resize(511, ' ');
    while (line.size() < 10u * 1024 * 1024) line += "RESET PING QUIT ";
    return line;
}

// The first 511 bytes of a long line are kept; everything after them up to the
// line feed is dropped, and the next line is read as usual.
TEST(HostileInput, TenMegabyteLineIsCutAndReadingGoesOn) {
    const child_result run = run_trace_program({ten_megabytes_after("KEY_DOWN 65 0") + "\nPING\n"});
    EXPECT_FALSE(run.timed_out);
    EXPECT_EQ(run.exit_code, 0);
    EXPECT_EQ(run.out, READY + "PONG\r\n");
    std::vector<std::string> expected = {"key vk=65 scan=30 flags=0", "reply PONG", "key vk=65 scan=30 flags=2"};
    for (const std::string& line : modifier_releases()) expected.push_back(line);
    EXPECT_EQ(trace_lines(run.err), expected);
}

// Without its line feed the line is never handled: the end of input drops it.
TEST(HostileInput, TenMegabyteLineWithoutLineFeedIsDropped) {
    const child_result run = run_trace_program({ten_megabytes_after("KEY_DOWN 65 0")});
    EXPECT_FALSE(run.timed_out);
    EXPECT_EQ(run.exit_code, 0);
    EXPECT_EQ(run.out, READY);
    EXPECT_EQ(trace_lines(run.err), modifier_releases());
}

struct key_line {
    unsigned vk = 0;
    unsigned flags = 0;
};

key_line parse_key_line(const std::string& line) {
    key_line key;
    unsigned scan = 0;
    if (std::sscanf(line.c_str(), "key vk=%u scan=%u flags=%u", &key.vk, &scan, &key.flags) != 3) {
        ADD_FAILURE() << "not a key record: " << line;
    }
    return key;
}

constexpr uint32_t FLOOD_LINES = 100000;
constexpr uint32_t FLOOD_MULTIPLIER = 2654435761u; // odd

// The key code of flood line i: only the low 16 bits of the number count.
uint16_t flood_code(uint32_t i) { return static_cast<uint16_t>(i * FLOOD_MULTIPLIER); }

// 100,000 KEY_DOWN lines of distinct 32-bit numbers i * 2654435761 (i = 1 ..
// 100,000). Their codes are i * 0x79b1 modulo 65536, a bijection because the
// factor is odd: i = 1 .. 256 give 256 distinct non-zero codes that fill the
// table in that slot order; i = 257 .. 65535 are new codes pressed with the
// table full (injected, not recorded); i = 65536 gives code 0, an empty record;
// later lines repeat earlier codes. A RESET therefore releases exactly the
// codes of i = 256 down to 1, then the four modifiers.
TEST(HostileInput, KeyDownFloodFillsTheTableAndResetReleasesIt) {
    std::vector<std::string> chunks(1);
    for (uint32_t i = 1; i <= FLOOD_LINES; ++i) {
        const std::string line = "KEY_DOWN " + std::to_string(i * FLOOD_MULTIPLIER) + " 0\n";
        if (chunks.back().size() + line.size() > 4096) chunks.emplace_back();
        chunks.back() += line;
    }
    chunks.push_back("RESET\n");
    child_options options;
    options.timeout_ms = 120000;
    const child_result run = run_trace_program(chunks, options);
    ASSERT_FALSE(run.timed_out);
    EXPECT_EQ(run.exit_code, 0);
    EXPECT_EQ(run.out, READY + "RESET_OK\r\n");

    const std::vector<std::string> lines = trace_lines(run.err);
    ASSERT_EQ(lines.size(), FLOOD_LINES + 256 + 4 + 1 + 4);
    size_t at = 0;
    for (uint32_t i = 1; i <= FLOOD_LINES; ++i, ++at) {
        const key_line key = parse_key_line(lines[at]);
        ASSERT_EQ(key.vk, flood_code(i)) << "line " << i;
        ASSERT_EQ(key.flags & 2u, 0u) << "line " << i;
    }
    for (uint32_t i = 256; i >= 1; --i, ++at) {
        const key_line key = parse_key_line(lines[at]);
        ASSERT_EQ(key.vk, flood_code(i)) << "release of slot " << i - 1;
        ASSERT_EQ(key.flags & 2u, 2u) << "release of slot " << i - 1;
    }
    std::vector<std::string> tail;
    for (const std::string& line : modifier_releases()) tail.push_back(line);
    tail.push_back("reply RESET_OK");
    for (const std::string& line : modifier_releases()) tail.push_back(line); // the end of input
    EXPECT_EQ(std::vector<std::string>(lines.begin() + static_cast<std::ptrdiff_t>(at), lines.end()), tail);
}

} // namespace
