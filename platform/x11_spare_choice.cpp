#include "platform/x11_spare_choice.h"

int choose_spare_slot(const spare_slot* slots, int count, const bool* keycode_down) {
    int best = -1;
    bool best_down = true;
    for (int i = 0; i < count; ++i) {
        const spare_slot& slot = slots[i];
        if (!slot.bound) return i;
        const bool down = keycode_down[slot.keycode];
        // A key that is up beats one held down; among equals the older use wins.
        if (best < 0 || (best_down && !down) || (best_down == down && slot.last_used < slots[best].last_used)) {
            best = i;
            best_down = down;
        }
    }
    return best;
}
