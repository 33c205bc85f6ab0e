#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

// The core keeps its state in process-wide variables that outlive a test. Every
// in-process test starts from the state of a fresh process through this.

/// Empty registry, both masks 0, the three button flags clear, no partial line
/// and no pending placement, the timer end entry forgotten, the fake process at
/// its defaults and the recorded trace empty.
void reset_core_state();

class core_test : public ::testing::Test {
  protected:
    void SetUp() override { reset_core_state(); }
};

/// Expected trace lines and key codes, as the tests spell them.
using lines = std::vector<std::string>;
using codes = std::vector<uint16_t>;

/// The occupied slots of held_keys, in slot order.
std::vector<uint16_t> held_key_list();

// The trace lines the dry-run sink writes, spelled out by the tests. Scan codes
// are those of the sink's US layout, which is not under test here.
std::string key_line(uint16_t vk, uint32_t flags);
std::string unicode_line(uint16_t unit, uint32_t flags);
std::string mouse_line(uint32_t flags, int32_t data);
std::string place_line(int32_t x, int32_t y);
std::string pause_line(uint32_t milliseconds);
std::string reply_line(const std::string& text);

/// Control, Alt, Shift and Windows logo up: the tail of every release.
std::vector<std::string> modifier_release_lines();

/// a followed by b.
std::vector<std::string> joined(std::vector<std::string> a, const std::vector<std::string>& b);
