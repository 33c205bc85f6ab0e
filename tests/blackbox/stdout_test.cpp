#include <gtest/gtest.h>

#include "tests/blackbox/session_table.h"

// Standard output carries the ready line and the three replies, each ended by
// CR LF, and nothing else, whatever the input.

namespace {

std::vector<std::string> crlf_lines(const std::string& out, bool* well_framed) {
    std::vector<std::string> lines;
    *well_framed = true;
    size_t start = 0;
    while (start < out.size()) {
        const size_t end = out.find("\r\n", start);
        if (end == std::string::npos) {
            *well_framed = false;
            lines.push_back(out.substr(start));
            break;
        }
        lines.push_back(out.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

std::vector<std::string> traced_replies(const std::string& err) {
    std::vector<std::string> replies;
    for (const std::string& line : trace_lines(err)) {
        if (line.rfind("reply ", 0) == 0) replies.push_back(line.substr(6));
    }
    return replies;
}

// Every command, well and badly formed, junk and every byte value.
std::string mixed_session() {
    std::string session =
        "MOVE 1 2\nPING\nDOWN 1 2 0\nUP 1 2 0\nCLICK 1 2 2 3\nSCROLL 5 5\nKEY_TAP 65 15\nKEY_DOWN 66 1\n"
        "KEY_UP 66 1\nRESET_KEYS\nRESET\nDOWN 1\nKEY_TAP\nping\nPING 1\nRESET_OK\nPONG\nREADY\n \n\t\nPING\n";
    for (int byte = 0; byte < 256; ++byte) {
        if (byte != '\n') session += std::string(1, static_cast<char>(byte)) + "x\n";
    }
    return session + "RESET \nPING\r\n";
}

TEST(StandardOutput, OnlyRepliesEachEndedByCrLf) {
    const child_result run = run_trace_program({mixed_session()});
    ASSERT_FALSE(run.timed_out);
    EXPECT_EQ(run.exit_code, 0);
    bool well_framed = false;
    const std::vector<std::string> lines = crlf_lines(run.out, &well_framed);
    EXPECT_TRUE(well_framed) << "standard output does not end in CR LF";
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front(), "BRASKELOT_WIN_INPUT_READY");
    const std::vector<std::string> replies(lines.begin() + 1, lines.end());
    for (const std::string& reply : replies) {
        EXPECT_TRUE(reply == "PONG" || reply == "RESET_OK" || reply == "RESET_KEYS_OK") << "unexpected: " << reply;
    }
    // Each reply goes out exactly when the program says it answers.
    EXPECT_EQ(replies, traced_replies(run.err));
    EXPECT_EQ(replies, (std::vector<std::string>{"PONG", "RESET_KEYS_OK", "RESET_OK", "PONG", "RESET_OK", "PONG"}));
}

TEST(StandardOutput, EveryByteBesidePing) {
    std::string after;
    std::string before;
    for (int byte = 0; byte < 256; ++byte) {
        after += "PING" + std::string(1, static_cast<char>(byte)) + "\n";
        before += std::string(1, static_cast<char>(byte)) + "PING\n";
    }
    check_sessions({
        // Only NUL (ends the text), LF (ends the line), CR (dropped) and space
        // (trimmed) leave a bare PING.
        {"every byte after PING",
         {after},
         READY + "PONG\r\nPONG\r\nPONG\r\nPONG\r\n",
         trace_list{"reply PONG", "reply PONG", "reply PONG", "reply PONG"} + MODIFIER_UPS},
        // Only LF (an empty line first) and CR (dropped) leave a bare PING.
        {"every byte before PING",
         {before},
         READY + "PONG\r\nPONG\r\n",
         trace_list{"reply PONG", "reply PONG"} + MODIFIER_UPS},
    });
}

} // namespace
