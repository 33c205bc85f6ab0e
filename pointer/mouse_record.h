#pragma once
#include <cstdint>

constexpr uint32_t MOUSEEVENTF_MOVE = 0x0001;
constexpr uint32_t MOUSEEVENTF_LEFTDOWN = 0x0002;
constexpr uint32_t MOUSEEVENTF_LEFTUP = 0x0004;
constexpr uint32_t MOUSEEVENTF_RIGHTDOWN = 0x0008;
constexpr uint32_t MOUSEEVENTF_RIGHTUP = 0x0010;
constexpr uint32_t MOUSEEVENTF_MIDDLEDOWN = 0x0020;
constexpr uint32_t MOUSEEVENTF_MIDDLEUP = 0x0040;
constexpr uint32_t MOUSEEVENTF_WHEEL = 0x0800;
constexpr uint32_t MOUSEEVENTF_HWHEEL = 0x1000;

/// Builds one mouse record (everything but flags and data zero) and injects it.
void send_mouse_record(uint32_t flags, uint32_t data);
