#include "control/dispatch.h"

#include <gtest/gtest.h>

#include "control/command_reader.h"
#include "keyboard/held_keys.h"
#include "keyboard/modifier_chords.h"
#include "pointer/pointer_commands.h"
#include "tests/support/core_state.h"
#include "tests/support/fake_process.h"
#include "tests/support/recorded_trace.h"

namespace {

using dispatch_test = core_test;

bool feed(const std::string& bytes) { return handle_chunk(bytes.data(), static_cast<uint32_t>(bytes.size())); }

const lines MOVE_TO_1_2 = {"place 1 2", "mouse flags=0x0001 data=0"};
const lines PONG = {"reply PONG"};

lines moved_to(int32_t x, int32_t y) { return {place_line(x, y), mouse_line(0x0001, 0)}; }

struct line_row {
    std::string line;
    lines trace;
};

// Each line alone, from a clean state.
TEST_F(dispatch_test, KeywordsArgumentsAndWholeLines) {
    const lines modifiers = modifier_release_lines();
    const line_row rows[] = {
        {"PING", PONG},
        {"PING 1", {}},
        {" PING", {}},
        {"ping", {}},
        {"Ping", {}},
        {"PING\t", {}},
        {"PINGS", {}},
        {"PIN", {}},
        {"DOWN 1 2 0", {"place 1 2", "mouse flags=0x0002 data=0"}},
        {"DOWN 1 2 2", {"place 1 2", "mouse flags=0x0008 data=0"}},
        {"DOWN 1 2 0 junk", {"place 1 2", "mouse flags=0x0002 data=0"}},
        {"DOWN 1 2", {}},
        {"DOWN1 2 0", {}},
        {"down 1 2 0", {}},
        {"DOWN", {}},
        {"UP 1 2 0", {"place 1 2", "mouse flags=0x0004 data=0"}},
        {"UP 1 2 2", {}},
        {"UP1 2 0", {}},
        {"UP", {}},
        {"UP 1 2", {}},
        {"CLICK 10 20 0",
         {"place 10 20", "place 10 20", "mouse flags=0x0002 data=0", "place 10 20", "mouse flags=0x0004 data=0"}},
        {"CLICK 5 6 0 x",
         {"place 5 6", "place 5 6", "mouse flags=0x0002 data=0", "place 5 6", "mouse flags=0x0004 data=0"}},
        {"CLICK 5 6 2 2",
         {"place 5 6", "place 5 6", "mouse flags=0x0008 data=0", "place 5 6", "mouse flags=0x0010 data=0",
          "pause ms=10", "place 5 6", "mouse flags=0x0008 data=0", "place 5 6", "mouse flags=0x0010 data=0"}},
        {"CLICK 10 20", {}},
        {"SCROLL 30 -240", {"mouse flags=0x0800 data=240", "mouse flags=0x1000 data=30"}},
        {"SCROLL 0 -2147483648", {"mouse flags=0x0800 data=-2147483648"}},
        {"SCROLL 5", {}},
        {"SCROLL", {}},
        {"KEY_TAP 65 1", {key_line(17, 0), key_line(65, 0), key_line(65, 2), key_line(17, 2)}},
        {"KEY_TAP 65 0", {key_line(65, 0), key_line(65, 2)}},
        {"KEY_TAP 65 0 x", {key_line(65, 0), key_line(65, 2)}},
        {"KEY_TAP 65", {}},
        {"KEY_TAP -1 0", {key_line(65535, 0), key_line(65535, 2)}},
        {"KEY_TAP 0 0 -23", {unicode_line(65513, 4), unicode_line(65513, 6)}},
        {"KEY_TAP 0 0 65536", {unicode_line(0, 0), unicode_line(0, 2)}},
        {"KEY_TAP   65   0", {key_line(65, 0), key_line(65, 2)}},
        {"KEY_TAP\t65 0", {}},
        {"KEY_DOWN 65 0", {key_line(65, 0)}},
        {"KEY_DOWN 65", {}},
        {"KEY_UP 65 0", {key_line(65, 2)}},
        {"KEY_UP 65", {}},
        {"KEY_UP65 0", {}},
        {"RESET", joined(modifiers, {"reply RESET_OK"})},
        {"RESET_KEYS", joined(modifiers, {"reply RESET_KEYS_OK"})},
        {"RESET_KEYS x", {}},
        {"RESET x", {}},
        {"RESETS", {}},
        {"RESET_KEY", {}},
        {"reset", {}},
        {"QUITS", {}},
        {"quit", {}},
        {"MOVE 1 2", {}}, // pending until the chunk ends
        {"MOVE", {}},
        {"HELLO", {}},
    };
    for (const line_row& row : rows) {
        SCOPED_TRACE("\"" + row.line + "\"");
        reset_core_state();
        EXPECT_TRUE(dispatch_line(row.line.c_str()));
        EXPECT_EQ(recorded_trace(), row.trace);
    }
}

TEST_F(dispatch_test, QuitReleasesAndTellsTheReaderToStop) {
    EXPECT_FALSE(dispatch_line("QUIT"));
    EXPECT_EQ(recorded_trace(), modifier_release_lines());
}

TEST_F(dispatch_test, AWellFormedMoveOnlySetsThePendingTarget) {
    EXPECT_TRUE(dispatch_line("MOVE  -5   +6junk"));
    EXPECT_TRUE(pending_move.pending);
    EXPECT_EQ(pending_move.x, -5);
    EXPECT_EQ(pending_move.y, 6);
    EXPECT_TRUE(recorded_trace().empty());
    EXPECT_TRUE(dispatch_line("MOVE 1,2"));
    EXPECT_EQ(pending_move.x, -5);
    EXPECT_EQ(pending_move.y, 6);
}

TEST_F(dispatch_test, ANulInsideALineEndsWhatDispatchSees) {
    const struct {
        std::string line;
        lines trace;
    } rows[] = {
        {std::string("PING\0junk", 9), PONG},
        {std::string("RESET\0 x", 8), joined(modifier_release_lines(), {"reply RESET_OK"})},
        {std::string("KEY_TAP 65\0 1", 13), {}},
        {std::string("MOVE 1\0 2", 9), {}},
        {std::string("\0PING", 5), {}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.line);
        reset_core_state();
        EXPECT_TRUE(feed(row.line + "\n"));
        EXPECT_EQ(recorded_trace(), row.trace);
    }
}

struct chunk_row {
    const char* name;
    std::vector<std::string> chunks;
    lines trace;
};

TEST_F(dispatch_test, FramingAndCoalescing) {
    const chunk_row rows[] = {
        {"line feed alone", {"PING\n"}, PONG},
        {"carriage return and line feed", {"PING\r\n"}, PONG},
        {"carriage return inside the line", {"PI\rNG\n"}, PONG},
        {"many carriage returns", {"\r\rP\rI\rN\rG\r\r\n"}, PONG},
        {"trailing spaces", {"PING   \n"}, PONG},
        {"trailing spaces then carriage return", {"PING  \r\n"}, PONG},
        {"RESET with a trailing space", {"RESET \n"}, joined(modifier_release_lines(), {"reply RESET_OK"})},
        {"trailing tab is kept", {"PING\t\n"}, {}},
        {"high byte", {"PING\xff\n"}, {}},
        {"no line feed yet", {"PING"}, {}},
        {"line across chunks", {"PI", "NG\n"}, PONG},
        {"line across three chunks", {"P", "IN", "G", "\n"}, PONG},
        {"two lines in one chunk", {"PING\nPING\n"}, joined(PONG, PONG)},
        {"last target of a run, then PONG, then the rest at the end",
         {"MOVE 1 2\nMOVE 3 4\nPING\nMOVE 7 8\n"},
         joined(joined(moved_to(3, 4), PONG), moved_to(7, 8))},
        {"bad MOVE lines keep the earlier target", {"MOVE 1 2\nMOVE x y\nMOVE 9\n"}, MOVE_TO_1_2},
        {"bad MOVE before a command keeps the target", {"MOVE 1 2\nMOVE 5\nPING\n"}, joined(MOVE_TO_1_2, PONG)},
        {"empty and all-space lines neither carry out nor clear", {"MOVE 1 2\n\n   \nMOVE 3 4\n"}, moved_to(3, 4)},
        {"an empty line keeps the pending target", {"MOVE 1 2\n\r\n  \nPING\n"}, joined(MOVE_TO_1_2, PONG)},
        {"bare MOVE carries out the placement", {"MOVE 1 2\nMOVE\n"}, MOVE_TO_1_2},
        {"bare MOVE with spaces carries out the placement", {"MOVE 1 2\nMOVE   \n"}, MOVE_TO_1_2},
        {"a placement is carried out once", {"MOVE 1 2\nPING\nPING\n"}, joined(joined(MOVE_TO_1_2, PONG), PONG)},
        {"a line that names no command carries it out", {"MOVE 1 2\nbogus\n"}, MOVE_TO_1_2},
        {"a command that does not parse carries it out", {"MOVE 1 2\nDOWN 1 2\n"}, MOVE_TO_1_2},
        {"placement before the command's records",
         {"MOVE 1 2\nKEY_TAP 65 0\n"},
         joined(MOVE_TO_1_2, {key_line(65, 0), key_line(65, 2)})},
        {"one placement per chunk", {"MOVE 1 2\n", "MOVE 3 4\n"}, joined(MOVE_TO_1_2, moved_to(3, 4))},
        {"a pending move never reaches the next chunk", {"MOVE 1 2\n", "PING\n"}, joined(MOVE_TO_1_2, PONG)},
        {"a MOVE line across chunks", {"MOVE 1 2\nMOVE 3 ", "4\n"}, joined(MOVE_TO_1_2, moved_to(3, 4))},
        // A run of MOVE lines is settled from its last line backwards; these
        // rows pin that it still acts as if every line were handled in order.
        {"a run ending in a bad line keeps the last good target", {"MOVE 1 2\nMOVE 3 4\nMOVE x\n"}, moved_to(3, 4)},
        {"a run of bad lines keeps the target from before it", {"MOVE 1 2\n\nMOVE x\nMOVE 9\n"}, MOVE_TO_1_2},
        {"carriage returns and trailing spaces inside a run", {"MOVE 1 2\nMOVE 3 4 \nMOVE 5\r 6\r\n"}, moved_to(5, 6)},
        {"MOVE and spaces inside a run is a bare MOVE",
         {"MOVE 1 2\nMOVE   \nMOVE 3 4\n"},
         joined(MOVE_TO_1_2, moved_to(3, 4))},
        {"MOVE, a space and a carriage return inside a run is a bare MOVE",
         {"MOVE 1 2\nMOVE \r\nMOVE 3 4\n"},
         joined(MOVE_TO_1_2, moved_to(3, 4))},
        {"a run after a line that goes on from the last chunk",
         {"MOVE 1 2\nMO", "VE 3 4\nMOVE 5 6\n"},
         joined(MOVE_TO_1_2, moved_to(5, 6))},
        {"a MOVE line cut at 511 bytes loses its second number",
         {"MOVE 7 8\nMOVE 1 " + std::string(504, ' ') + "2\n"},
         moved_to(7, 8)},
        {"a NUL inside a run ends what the parse sees",
         {"MOVE 7 8\n" + std::string("MOVE 3\0 4\n", 10)},
         moved_to(7, 8)},
        {"MOVE 1-2", {"MOVE 1-2\n"}, moved_to(1, -2)},
        {"MOVE with signs and junk", {"MOVE  -5   +6junk\n"}, moved_to(-5, 6)},
        {"move without the keyword's space", {"MOVE1 2\n"}, {}},
        {"lower-case move", {"move 1 2\n"}, {}},
        {"leading space", {" MOVE 1 2\n"}, {}},
    };
    for (const chunk_row& row : rows) {
        SCOPED_TRACE(row.name);
        reset_core_state();
        for (const std::string& chunk : row.chunks) EXPECT_TRUE(feed(chunk));
        EXPECT_EQ(recorded_trace(), row.trace);
        EXPECT_FALSE(pending_move.pending);
    }
}

TEST_F(dispatch_test, QuitStopsAndLeavesTheRestOfTheChunkUnread) {
    EXPECT_FALSE(feed("MOVE 1 2\nQUIT\nPING\nMOVE 3 4\n"));
    EXPECT_EQ(recorded_trace(), joined(MOVE_TO_1_2, modifier_release_lines()));
}

TEST_F(dispatch_test, QuitWithTrailingSpacesAndCarriageReturn) {
    EXPECT_FALSE(feed("QUIT  \r\n"));
    EXPECT_EQ(recorded_trace(), modifier_release_lines());
}

TEST_F(dispatch_test, LongLinesAreCutTo511Bytes) {
    const struct {
        const char* name;
        std::string chunk;
        lines trace;
    } rows[] = {
        {"RESET, spaces and junk past the cut", "RESET" + std::string(506, ' ') + "junk\n",
         joined(modifier_release_lines(), {"reply RESET_OK"})},
        {"last field is byte 511",
         "KEY_TAP 65" + std::string(500, ' ') + "1\n",
         {key_line(17, 0), key_line(65, 0), key_line(65, 2), key_line(17, 2)}},
        {"last field is byte 512", "KEY_TAP 65" + std::string(501, ' ') + "1\n", {}},
        {"carriage returns do not count",
         "KEY_TAP 65" + std::string(500, ' ') + "\r\r1\r\n",
         {key_line(17, 0), key_line(65, 0), key_line(65, 2), key_line(17, 2)}},
        {"the next line is read normally", std::string(600, 'A') + "\nPING\n", PONG},
        {"a long junk line then a command", "PING" + std::string(600, 'x') + "\nPING\n", PONG},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        reset_core_state();
        EXPECT_TRUE(feed(row.chunk));
        EXPECT_EQ(recorded_trace(), row.trace);
    }
}

TEST_F(dispatch_test, ALongLineAcrossChunksIsCutOnce) {
    EXPECT_TRUE(feed("PING" + std::string(300, ' ')));
    EXPECT_TRUE(feed(std::string(300, ' ') + "x"));
    EXPECT_TRUE(feed("\nPING\n"));
    // The first line is PING, spaces, and the x past the cut: a PING.
    EXPECT_EQ(recorded_trace(), joined(PONG, PONG));
}

TEST_F(dispatch_test, ResetCommandReaderForgetsAPartialLine) {
    EXPECT_TRUE(feed("PI"));
    reset_command_reader();
    EXPECT_TRUE(feed("PING\n"));
    EXPECT_EQ(recorded_trace(), PONG);
}

} // namespace
