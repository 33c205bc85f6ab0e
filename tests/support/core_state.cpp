#include "tests/support/core_state.h"

#include "control/startup.h"
#include "keyboard/held_keys.h"
#include "platform/us_scan_codes.h"
#include "tests/support/fake_process.h"
#include "tests/support/fresh_core.h"
#include "tests/support/recorded_trace.h"

void reset_core_state() {
    zero_core_state();

    // A test that asked for the timer resolution and did not give it back
    // must not leave the next one a stored timeEndPeriod.
    end_timer_resolution();
    reset_fake_process();
    clear_recorded_trace();
}

std::vector<uint16_t> held_key_list() { return {held_keys, held_keys + held_key_count}; }

std::string key_line(uint16_t vk, uint32_t flags) {
    return "key vk=" + std::to_string(vk) + " scan=" + std::to_string(us_layout_scan_code(vk)) +
           " flags=" + std::to_string(flags);
}

std::string unicode_line(uint16_t unit, uint32_t flags) {
    return "key vk=0 scan=" + std::to_string(unit) + " flags=" + std::to_string(flags);
}

std::string mouse_line(uint32_t flags, int32_t data) {
    char text[64];
    std::snprintf(text, sizeof text, "mouse flags=0x%04x data=%d", flags, data);
    return text;
}

std::string place_line(int32_t x, int32_t y) { return "place " + std::to_string(x) + " " + std::to_string(y); }
std::string pause_line(uint32_t milliseconds) { return "pause ms=" + std::to_string(milliseconds); }
std::string reply_line(const std::string& text) { return "reply " + text; }

std::vector<std::string> modifier_release_lines() {
    return {"key vk=17 scan=29 flags=2", "key vk=18 scan=56 flags=2", "key vk=16 scan=42 flags=2",
            "key vk=91 scan=91 flags=3"};
}

std::vector<std::string> joined(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}
