#pragma once

/// Up records for the buttons the system holds; the pointer stays put.
void release_mouse_buttons();
/// Every held key up (last slot first), then Control, Alt, Shift and Windows up
/// whether or not they are down, then both modifier masks cleared.
void release_all_keys();
/// The mouse buttons, then the keyboard: nothing the system pressed stays down.
void release_all_input();
