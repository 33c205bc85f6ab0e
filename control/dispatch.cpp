#include "control/dispatch.h"

#include <cstring>

#include "control/parse_fields.h"
#include "keyboard/key_commands.h"
#include "platform/process.h"
#include "pointer/pointer_commands.h"
#include "reset/release_all.h"

pending_move_state pending_move;

namespace {

// Each runner parses the text after its keyword and calls its handler when
// enough fields were read; true means the command was carried out.
using command_runner = bool (*)(const char* arguments);

template <void (*handler)(int32_t, int32_t, int32_t)>
bool run_button_command(const char* arguments) {
    int32_t fields[3];
    if (parse_signed_fields(arguments, fields, 3) < 3) return false;
    handler(fields[0], fields[1], fields[2]);
    return true;
}

bool run_click(const char* arguments) {
    int32_t fields[4] = {0, 0, 0, 1};
    if (parse_signed_fields(arguments, fields, 4) < 3) return false;
    button_click(fields[0], fields[1], fields[2], fields[3]);
    return true;
}

bool run_scroll(const char* arguments) {
    int32_t fields[2];
    if (parse_signed_fields(arguments, fields, 2) < 2) return false;
    scroll_wheel(fields[0], fields[1]);
    return true;
}

template <void (*handler)(uint32_t, uint32_t, uint32_t)>
bool run_key_command(const char* arguments) {
    uint32_t fields[3] = {0, 0, 0};
    if (parse_unsigned_fields(arguments, fields, 3) < 2) return false;
    handler(fields[0], fields[1], fields[2]);
    return true;
}

template <void (*handler)()>
bool run_plain(const char* /*arguments*/) {
    handler();
    return true;
}

bool run_nothing(const char* /*arguments*/) { return true; }

struct command_row {
    const char* keyword;
    size_t length;
    bool whole_line; // otherwise a prefix, its trailing space included
    command_runner run;
    const char* reply;
};

constexpr size_t length_of(const char* text) {
    size_t length = 0;
    while (text[length] != '\0') ++length;
    return length;
}

constexpr command_row prefix(const char* keyword, command_runner run) {
    return {keyword, length_of(keyword), false, run, nullptr};
}

constexpr command_row whole(const char* keyword, command_runner run, const char* reply) {
    return {keyword, length_of(keyword), true, run, reply};
}

// No keyword is a prefix of another, so at most one row matches a line.
constexpr command_row COMMANDS[] = {
    whole("PING", run_nothing, "PONG"),
    prefix("DOWN ", run_button_command<button_down>),
    prefix("UP ", run_button_command<button_up>),
    prefix("CLICK ", run_click),
    prefix("SCROLL ", run_scroll),
    prefix("KEY_TAP ", run_key_command<key_tap>),
    prefix("KEY_DOWN ", run_key_command<key_down>),
    prefix("KEY_UP ", run_key_command<key_up>),
    whole("RESET_KEYS", run_plain<release_all_keys>, "RESET_KEYS_OK"),
    whole("RESET", run_plain<release_all_input>, "RESET_OK"),
};

bool matches(const command_row& row, const char* line) {
    // Most rows differ in the first byte; comparing it inline spares a call.
    if (line[0] != row.keyword[0]) return false;
    if (row.whole_line) return std::strcmp(line, row.keyword) == 0;
    return std::strncmp(line, row.keyword, row.length) == 0;
}

void run_command(const char* line) {
    for (const command_row& row : COMMANDS) {
        if (!matches(row, line)) continue;
        if (row.run(line + row.length) && row.reply != nullptr) platform_write_reply(row.reply);
        return;
    }
}

bool set_pending_move(const char* arguments) {
    int32_t fields[2];
    if (parse_signed_fields(arguments, fields, 2) == 2) pending_move = {true, fields[0], fields[1]};
    return true;
}

} // namespace

bool dispatch_line(const char* line) {
    if (line[0] == 'M' && std::strncmp(line, "MOVE ", 5) == 0) return set_pending_move(line + 5);
    // Whatever the line turns out to be, a placement sent before it happens first.
    if (pending_move.pending) move_pointer(pending_move.x, pending_move.y);
    pending_move.pending = false;
    if (line[0] == 'Q' && std::strcmp(line, "QUIT") == 0) {
        release_all_input();
        return false;
    }
    run_command(line);
    return true;
}
