#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "keyboard/key_commands.h"
#include "keyboard/modifier_chords.h"
#include "tests/support/core_state.h"
#include "tests/support/recorded_trace.h"

// A run of key commands from a clean state, with what each one must send and
// leave behind: records, the registry in slot order and both masks.

enum class key_op { tap, down, up };

// Short names for the scenario tables.
constexpr key_op T = key_op::tap;
constexpr key_op D = key_op::down;
constexpr key_op U = key_op::up;

struct key_step {
    key_op op;
    uint32_t vk;
    uint32_t mods;
    uint32_t ch;
    std::vector<std::string> records;
    std::vector<uint16_t> held_after;
    uint32_t chord_after;
    uint32_t held_modifiers_after;
};

struct key_scenario {
    const char* name;
    std::vector<key_step> steps;
};

inline std::string dn(uint16_t vk) { return key_line(vk, 0); }
inline std::string up(uint16_t vk) { return key_line(vk, 2); }
inline std::string dnx(uint16_t vk) { return key_line(vk, 1); }
inline std::string upx(uint16_t vk) { return key_line(vk, 3); }

inline std::string step_label(const key_step& step) {
    const char* keyword = step.op == key_op::tap ? "KEY_TAP" : step.op == key_op::down ? "KEY_DOWN" : "KEY_UP";
    return std::string(keyword) + " " + std::to_string(step.vk) + " " + std::to_string(step.mods) + " " +
           std::to_string(step.ch);
}

inline void run_key_scenario(const key_scenario& scenario) {
    SCOPED_TRACE(scenario.name);
    reset_core_state();
    for (const key_step& step : scenario.steps) {
        SCOPED_TRACE(step_label(step));
        clear_recorded_trace();
        switch (step.op) {
        case key_op::tap: key_tap(step.vk, step.mods, step.ch); break;
        case key_op::down: key_down(step.vk, step.mods, step.ch); break;
        case key_op::up: key_up(step.vk, step.mods, step.ch); break;
        }
        EXPECT_EQ(recorded_trace(), step.records);
        EXPECT_EQ(held_key_list(), step.held_after);
        EXPECT_EQ(chord_modifiers, step.chord_after);
        EXPECT_EQ(held_modifiers, step.held_modifiers_after);
    }
}
