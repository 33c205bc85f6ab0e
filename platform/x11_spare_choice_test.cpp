#include "platform/x11_spare_choice.h"

#include <gtest/gtest.h>

namespace {

struct choice_row {
    const char* name;
    spare_slot slots[4];
    int count;
    uint8_t down[2]; // keycodes held down, 0 for none
    int chosen;
};

TEST(X11SpareChoice, LeastRecentlyUsedFirst) {
    const choice_row rows[] = {
        {"no slots", {}, 0, {0, 0}, -1},
        {"an unbound slot before any bound one",
         {{10, true, 1, 1, 1}, {11, false, 0, 0, 0}, {12, true, 2, 2, 2}},
         3,
         {0, 0},
         1},
        {"the least recently used", {{10, true, 1, 1, 5}, {11, true, 2, 2, 3}, {12, true, 3, 3, 9}}, 3, {0, 0}, 1},
        {"a slot held down is passed over",
         {{10, true, 1, 1, 5}, {11, true, 2, 2, 3}, {12, true, 3, 3, 9}},
         3,
         {11, 0},
         0},
        {"the held one only when all are held", {{10, true, 1, 1, 5}, {11, true, 2, 2, 3}}, 2, {10, 11}, 1},
        {"a held older slot does not win over an up newer one",
         {{10, true, 1, 1, 1}, {11, true, 2, 2, 8}, {12, true, 3, 3, 4}},
         3,
         {10, 0},
         2},
    };
    for (const choice_row& row : rows) {
        SCOPED_TRACE(row.name);
        bool down[256] = {};
        for (const uint8_t keycode : row.down) {
            if (keycode != 0) down[keycode] = true;
        }
        EXPECT_EQ(choose_spare_slot(row.slots, row.count, down), row.chosen);
    }
}

} // namespace
