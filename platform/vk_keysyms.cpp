#include "platform/vk_keysyms.h"

#include <X11/XF86keysym.h>
#include <X11/keysym.h>

namespace {

#define KEY(vk, name)                                                                                                  \
    { vk, XK_##name, #name }
#define XF86_KEY(vk, name)                                                                                             \
    { vk, XF86XK_##name, "XF86" #name }

constexpr vk_keysym VK_KEYSYMS[] = {
    KEY(3, Break), // VK_CANCEL: Control+Pause
    KEY(8, BackSpace),
    KEY(9, Tab),
    KEY(12, Clear),
    KEY(13, Return),
    // The generic modifier codes press the left-hand keys.
    KEY(16, Shift_L),
    KEY(17, Control_L),
    KEY(18, Alt_L),
    KEY(19, Pause),
    KEY(20, Caps_Lock),
    KEY(27, Escape),
    KEY(32, space),
    KEY(33, Prior),
    KEY(34, Next),
    KEY(35, End),
    KEY(36, Home),
    KEY(37, Left),
    KEY(38, Up),
    KEY(39, Right),
    KEY(40, Down),
    KEY(41, Select),
    KEY(42, Print),
    KEY(43, Execute),
    KEY(44, Print),
    KEY(45, Insert),
    KEY(46, Delete),
    KEY(47, Help),
    KEY(48, 0),
    KEY(49, 1),
    KEY(50, 2),
    KEY(51, 3),
    KEY(52, 4),
    KEY(53, 5),
    KEY(54, 6),
    KEY(55, 7),
    KEY(56, 8),
    KEY(57, 9),
    KEY(65, a),
    KEY(66, b),
    KEY(67, c),
    KEY(68, d),
    KEY(69, e),
    KEY(70, f),
    KEY(71, g),
    KEY(72, h),
    KEY(73, i),
    KEY(74, j),
    KEY(75, k),
    KEY(76, l),
    KEY(77, m),
    KEY(78, n),
    KEY(79, o),
    KEY(80, p),
    KEY(81, q),
    KEY(82, r),
    KEY(83, s),
    KEY(84, t),
    KEY(85, u),
    KEY(86, v),
    KEY(87, w),
    KEY(88, x),
    KEY(89, y),
    KEY(90, z),
    KEY(91, Super_L),
    KEY(92, Super_R),
    KEY(93, Menu),
    XF86_KEY(95, Sleep),
    KEY(96, KP_0),
    KEY(97, KP_1),
    KEY(98, KP_2),
    KEY(99, KP_3),
    KEY(100, KP_4),
    KEY(101, KP_5),
    KEY(102, KP_6),
    KEY(103, KP_7),
    KEY(104, KP_8),
    KEY(105, KP_9),
    KEY(106, KP_Multiply),
    KEY(107, KP_Add),
    KEY(108, KP_Separator),
    KEY(109, KP_Subtract),
    KEY(110, KP_Decimal),
    KEY(111, KP_Divide),
    KEY(112, F1),
    KEY(113, F2),
    KEY(114, F3),
    KEY(115, F4),
    KEY(116, F5),
    KEY(117, F6),
    KEY(118, F7),
    KEY(119, F8),
    KEY(120, F9),
    KEY(121, F10),
    KEY(122, F11),
    KEY(123, F12),
    KEY(124, F13),
    KEY(125, F14),
    KEY(126, F15),
    KEY(127, F16),
    KEY(128, F17),
    KEY(129, F18),
    KEY(130, F19),
    KEY(131, F20),
    KEY(132, F21),
    KEY(133, F22),
    KEY(134, F23),
    KEY(135, F24),
    KEY(144, Num_Lock),
    KEY(145, Scroll_Lock),
    KEY(160, Shift_L),
    KEY(161, Shift_R),
    KEY(162, Control_L),
    KEY(163, Control_R),
    KEY(164, Alt_L),
    KEY(165, Alt_R),
    XF86_KEY(166, Back),
    XF86_KEY(167, Forward),
    XF86_KEY(168, Refresh),
    XF86_KEY(169, Stop),
    XF86_KEY(170, Search),
    XF86_KEY(171, Favorites),
    XF86_KEY(172, HomePage),
    XF86_KEY(173, AudioMute),
    XF86_KEY(174, AudioLowerVolume),
    XF86_KEY(175, AudioRaiseVolume),
    XF86_KEY(176, AudioNext),
    XF86_KEY(177, AudioPrev),
    XF86_KEY(178, AudioStop),
    XF86_KEY(179, AudioPlay),
    XF86_KEY(180, Mail),
    XF86_KEY(181, AudioMedia),
    XF86_KEY(182, MyComputer),
    XF86_KEY(183, Calculator),
    // The OEM keys as the US layout labels them.
    KEY(186, semicolon),
    KEY(187, equal),
    KEY(188, comma),
    KEY(189, minus),
    KEY(190, period),
    KEY(191, slash),
    KEY(192, grave),
    KEY(219, bracketleft),
    KEY(220, backslash),
    KEY(221, bracketright),
    KEY(222, apostrophe),
    KEY(226, backslash), // the 102nd key types a backslash on the US layout
    KEY(254, Clear),
};

#undef KEY
#undef XF86_KEY

struct keysym_index {
    uint32_t keysym[256];
};

constexpr keysym_index build_index() {
    keysym_index index{};
    for (const vk_keysym& row : VK_KEYSYMS) index.keysym[row.vk] = row.keysym;
    return index;
}

constexpr keysym_index KEYSYM_OF_VK = build_index();

} // namespace

uint32_t vk_to_keysym(uint16_t vk) { return vk < 256 ? KEYSYM_OF_VK.keysym[vk] : 0; }

const vk_keysym* vk_keysym_table(size_t* count) {
    *count = sizeof VK_KEYSYMS / sizeof VK_KEYSYMS[0];
    return VK_KEYSYMS;
}
