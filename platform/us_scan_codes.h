#pragma once
#include <cstdint>

/// The scan code the platform's MapVirtualKeyW(vk, MAPVK_VK_TO_VSC) gives on a
/// US English layout (without the E0/E1 prefix), or 0 for a key it lacks.
/// Stands in for the platform look-up wherever Windows is not there.
uint32_t us_layout_scan_code(uint16_t vk);
