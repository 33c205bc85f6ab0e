#pragma once
#include <cstdint>

#include "platform/input_record.h"

// The one boundary between the command logic and the platform's input services.
// Every injected event, pointer placement, scan-code look-up and pause passes
// through here, so the logic can be built and exercised without Windows: the
// build links exactly one backend (Windows, trace, or the benchmark's discard).

/// Injects exactly one record, in call order. A refused record is not reported.
void input_sink_inject(const input_record& record);

/// Places the pointer at (x, y) in physical pixels of the virtual desktop.
void input_sink_place_pointer(int32_t x, int32_t y);

/// The hardware scan code of a virtual-key code in the current layout, or 0.
uint32_t input_sink_scan_code(uint16_t vk);

/// Lets the calling thread do nothing for about this many milliseconds.
void input_sink_pause(uint32_t milliseconds);
