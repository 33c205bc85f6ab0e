#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "tests/blackbox/session_table.h"

// The sample script in examples/ is run as a file on standard input would be
// read (4096 bytes at a time) and must give exactly this output, so the
// example cannot drift from the program.

namespace {

std::vector<std::string> file_reads(const char* path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream content;
    content << file.rdbuf();
    const std::string text = content.str();
    std::vector<std::string> reads;
    for (size_t start = 0; start < text.size(); start += 4096) reads.push_back(text.substr(start, 4096));
    return reads;
}

TEST(ExampleSession, GivesItsDocumentedOutput) {
    const std::vector<std::string> reads = file_reads(BRASKELOT_EXAMPLE_SESSION);
    ASSERT_FALSE(reads.empty()) << "cannot read " << BRASKELOT_EXAMPLE_SESSION;
    check_session({
        "examples/session.txt",
        reads,
        READY + "PONG\r\nRESET_OK\r\n",
        trace_list{
            // The three MOVE lines arrive in one read: one placement, at the last target.
            "place 180 140", "mouse flags=0x0001 data=0",
            // CLICK 180 140 0
            "place 180 140", "place 180 140", "mouse flags=0x0002 data=0", "place 180 140", "mouse flags=0x0004 data=0",
            // CLICK 400 300 0 2
            "place 400 300", "place 400 300", "mouse flags=0x0002 data=0", "place 400 300", "mouse flags=0x0004 data=0",
            "pause ms=10", "place 400 300", "mouse flags=0x0002 data=0", "place 400 300", "mouse flags=0x0004 data=0",
            // SCROLL 0 120
            "mouse flags=0x0800 data=-120",
            // KEY_TAP 65 1: Control+A
            "key vk=17 scan=29 flags=0", "key vk=65 scan=30 flags=0", "key vk=65 scan=30 flags=2",
            "key vk=17 scan=29 flags=2",
            // KEY_TAP 0 0 233: the character U+00E9
            "key vk=0 scan=233 flags=4", "key vk=0 scan=233 flags=6",
            // KEY_DOWN 16 0, KEY_TAP 66 0, KEY_UP 16 0: Shift held around B
            "key vk=16 scan=42 flags=0", "key vk=66 scan=48 flags=0", "key vk=66 scan=48 flags=2",
            "key vk=16 scan=42 flags=2",
            // PING
            "reply PONG"} +
            // RESET, then QUIT and the shutdown each release the modifiers
            MODIFIER_UPS + trace_list{"reply RESET_OK"} + MODIFIER_UPS + MODIFIER_UPS,
    });
}

} // namespace
