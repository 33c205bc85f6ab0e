#include "platform/wayland/wayland_keymap_text.h"

#include <cstdarg>
#include <cstdio>
#include <xkbcommon/xkbcommon-keysyms.h>
#include <xkbcommon/xkbcommon.h>

#include "platform/vk_keysyms.h"

namespace {

// The evdev code of each virtual-key code's key on a PC keyboard. Codes that
// type the same keysym share a key; keysyms a PC keyboard has no key for
// (Break, Clear, Select, Execute) go on keys of a related meaning.
struct vk_evdev {
    uint8_t vk;
    uint8_t evdev;
};

constexpr vk_evdev VK_EVDEV[] = {
    {3, 223},   {8, 14},    {9, 15},    {12, 222},  {13, 28},   {16, 42},   {17, 29},   {18, 56},   {19, 119},
    {20, 58},   {27, 1},    {32, 57},   {33, 104},  {34, 109},  {35, 107},  {36, 102},  {37, 105},  {38, 103},
    {39, 106},  {40, 108},  {41, 132},  {42, 99},   {43, 134},  {44, 99},   {45, 110},  {46, 111},  {47, 138},
    {48, 11},   {49, 2},    {50, 3},    {51, 4},    {52, 5},    {53, 6},    {54, 7},    {55, 8},    {56, 9},
    {57, 10},   {65, 30},   {66, 48},   {67, 46},   {68, 32},   {69, 18},   {70, 33},   {71, 34},   {72, 35},
    {73, 23},   {74, 36},   {75, 37},   {76, 38},   {77, 50},   {78, 49},   {79, 24},   {80, 25},   {81, 16},
    {82, 19},   {83, 31},   {84, 20},   {85, 22},   {86, 47},   {87, 17},   {88, 45},   {89, 21},   {90, 44},
    {91, 125},  {92, 126},  {93, 127},  {95, 142},  {96, 82},   {97, 79},   {98, 80},   {99, 81},   {100, 75},
    {101, 76},  {102, 77},  {103, 71},  {104, 72},  {105, 73},  {106, 55},  {107, 78},  {108, 121}, {109, 74},
    {110, 83},  {111, 98},  {112, 59},  {113, 60},  {114, 61},  {115, 62},  {116, 63},  {117, 64},  {118, 65},
    {119, 66},  {120, 67},  {121, 68},  {122, 87},  {123, 88},  {124, 183}, {125, 184}, {126, 185}, {127, 186},
    {128, 187}, {129, 188}, {130, 189}, {131, 190}, {132, 191}, {133, 192}, {134, 193}, {135, 194}, {144, 69},
    {145, 70},  {160, 42},  {161, 54},  {162, 29},  {163, 97},  {164, 56},  {165, 100}, {166, 158}, {167, 159},
    {168, 173}, {169, 128}, {170, 217}, {171, 156}, {172, 172}, {173, 113}, {174, 114}, {175, 115}, {176, 163},
    {177, 165}, {178, 166}, {179, 164}, {180, 155}, {181, 226}, {182, 157}, {183, 140}, {186, 39},  {187, 13},
    {188, 51},  {189, 12},  {190, 52},  {191, 53},  {192, 41},  {219, 26},  {220, 43},  {221, 27},  {222, 40},
    {226, 86},  {254, 222},
};

// What Shift types on the US layout's keys that have a second level.
struct shifted_key {
    uint8_t evdev;
    uint32_t keysym;
    const char* name;
};

constexpr shifted_key US_SHIFTED[] = {
    {2, XKB_KEY_exclam, "exclam"},
    {3, XKB_KEY_at, "at"},
    {4, XKB_KEY_numbersign, "numbersign"},
    {5, XKB_KEY_dollar, "dollar"},
    {6, XKB_KEY_percent, "percent"},
    {7, XKB_KEY_asciicircum, "asciicircum"},
    {8, XKB_KEY_ampersand, "ampersand"},
    {9, XKB_KEY_asterisk, "asterisk"},
    {10, XKB_KEY_parenleft, "parenleft"},
    {11, XKB_KEY_parenright, "parenright"},
    {12, XKB_KEY_underscore, "underscore"},
    {13, XKB_KEY_plus, "plus"},
    {26, XKB_KEY_braceleft, "braceleft"},
    {27, XKB_KEY_braceright, "braceright"},
    {39, XKB_KEY_colon, "colon"},
    {40, XKB_KEY_quotedbl, "quotedbl"},
    {41, XKB_KEY_asciitilde, "asciitilde"},
    {43, XKB_KEY_bar, "bar"},
    {51, XKB_KEY_less, "less"},
    {52, XKB_KEY_greater, "greater"},
    {53, XKB_KEY_question, "question"},
    {86, XKB_KEY_bar, "bar"},
};

// The character keys. A browser reads a key through its evdev code first
// (Chromium drops a key whose code it has no name for, whatever the keymap
// says), so each of these is a code Chromium knows; none is a key of the
// virtual-key table, and none is one a browser, a media player or the system
// acts on whatever it types (browser, launcher and media playback keys, New,
// power, sleep, screen lock, brightness, radios, display, close, eject). They
// are the Japanese and Korean keys, the numpad's =, +/-, ( and ), the editing
// keys of old Sun keyboards (Again, Undo, Copy, Paste, Find, Cut, Redo), and
// the mail keys. Each typed its character in Chromium, GTK, Qt and foot
// (tests/wayland_apps); with New, WWW, File, Exit and Dashboard among them
// Chromium opened a second window now and then.
constexpr uint8_t CHARACTER_EVDEV[CHARACTER_KEY_COUNT] = {
    85,  89,  90,  91,  92,  93,  94,  117, 118, 120, 122, 123, 124, 129,
    131, 133, 135, 136, 137, 169, 179, 180, 182, 231, 232, 233, 234, 235,
};

struct key_row {
    uint32_t keysym; // 0: no key on this code
    const char* name;
    uint32_t shifted_keysym;
    const char* shifted_name;
};

struct layout {
    key_row keys[256]; // by evdev code
    uint8_t evdev_of_vk[256];
};

constexpr layout build_layout() {
    layout result{};
    for (const vk_evdev& row : VK_EVDEV) result.evdev_of_vk[row.vk] = row.evdev;
    for (const shifted_key& row : US_SHIFTED) {
        result.keys[row.evdev].shifted_keysym = row.keysym;
        result.keys[row.evdev].shifted_name = row.name;
    }
    return result;
}

layout the_layout = build_layout();
bool layout_filled;

// The keysyms come from the shared table, which is not constexpr outside its file.
const layout& keymap_layout() {
    if (layout_filled) return the_layout;
    layout_filled = true;
    size_t count = 0;
    const vk_keysym* table = vk_keysym_table(&count);
    for (size_t i = 0; i < count; ++i) {
        const uint8_t evdev = the_layout.evdev_of_vk[table[i].vk];
        if (evdev == 0) continue;
        key_row& key = the_layout.keys[evdev];
        if (key.keysym != 0) continue; // two codes, one key
        key.keysym = table[i].keysym;
        key.name = table[i].name;
        if (key.keysym >= XKB_KEY_a && key.keysym <= XKB_KEY_z) {
            key.shifted_keysym = key.keysym - XKB_KEY_a + XKB_KEY_A;
            key.shifted_name = nullptr; // written as the capital letter
        }
    }
    return the_layout;
}

struct text_writer {
    char* buffer;
    size_t capacity;
    size_t length;
    bool overflow;
};

void append(text_writer* out, const char* format, ...) __attribute__((format(printf, 2, 3)));

void append(text_writer* out, const char* format, ...) {
    if (out->overflow) return;
    va_list arguments;
    va_start(arguments, format);
    const int written = std::vsnprintf(out->buffer + out->length, out->capacity - out->length, format, arguments);
    va_end(arguments);
    if (written < 0 || static_cast<size_t>(written) >= out->capacity - out->length) {
        out->overflow = true;
        return;
    }
    out->length += static_cast<size_t>(written);
}

// The fixed part: types with one and two levels (and the keypad's, which X
// servers expect among the first four), Shift and Control, Alt (Mod1), Super
// (Mod4) set while their keys are down, Caps Lock and Num Lock locking. The
// virtual modifiers and the indicators are those a keymap compiled from a
// standard layout has: an X server (Xwayland) updates its indicators through
// them at every modifier change and fails on a keymap without them, and X
// clients that read the keymap back from it (Qt's xcb) expect them too.
constexpr const char* VIRTUAL_MODIFIERS =
    "\tvirtual_modifiers NumLock,Alt,LevelThree,LAlt,RAlt,RControl,LControl,ScrollLock,LevelFive,AltGr,Meta,Super,"
    "Hyper;\n";

constexpr const char* INDICATOR_NAMES = R"(	indicator 1 = "Caps Lock";
	indicator 2 = "Num Lock";
	indicator 3 = "Scroll Lock";
	indicator 4 = "Compose";
	indicator 5 = "Kana";
	indicator 6 = "Sleep";
	indicator 7 = "Suspend";
	indicator 8 = "Mute";
	indicator 9 = "Misc";
	indicator 10 = "Mail";
	indicator 11 = "Charging";
	indicator 12 = "Shift Lock";
	indicator 13 = "Group 2";
	indicator 14 = "Mouse Keys";
)";

constexpr const char* TYPES = R"(	type "ONE_LEVEL" { modifiers = none; level_name[Level1] = "Any"; };
	type "TWO_LEVEL" { modifiers = Shift; map[Shift] = Level2; level_name[Level1] = "Base"; level_name[Level2] = "Shift"; };
	type "ALPHABETIC" { modifiers = Shift+Lock; map[Shift] = Level2; map[Lock] = Level2; level_name[Level1] = "Base"; level_name[Level2] = "Caps"; };
	type "KEYPAD" { modifiers = Shift+NumLock; map[None] = Level1; map[Shift] = Level2; map[NumLock] = Level2; map[Shift+NumLock] = Level1; level_name[Level1] = "Base"; level_name[Level2] = "Number"; };
};
)";

constexpr const char* COMPAT = R"(	interpret.useModMapMods = AnyLevel;
	interpret.repeat = False;
	interpret Shift_L + AnyOfOrNone(all) { action = SetMods(modifiers = Shift, clearLocks); };
	interpret Shift_R + AnyOfOrNone(all) { action = SetMods(modifiers = Shift, clearLocks); };
	interpret Control_L + AnyOfOrNone(all) { action = SetMods(modifiers = Control, clearLocks); };
	interpret Control_R + AnyOfOrNone(all) { action = SetMods(modifiers = Control, clearLocks); };
	interpret Alt_L + AnyOf(all) { virtualModifier = Alt; action = SetMods(modifiers = modMapMods, clearLocks); };
	interpret Alt_R + AnyOf(all) { virtualModifier = Alt; action = SetMods(modifiers = modMapMods, clearLocks); };
	interpret Super_L + AnyOf(all) { virtualModifier = Super; action = SetMods(modifiers = modMapMods, clearLocks); };
	interpret Super_R + AnyOf(all) { virtualModifier = Super; action = SetMods(modifiers = modMapMods, clearLocks); };
	interpret Caps_Lock + AnyOfOrNone(all) { action = LockMods(modifiers = Lock); };
	interpret Num_Lock + AnyOf(all) { virtualModifier = NumLock; action = LockMods(modifiers = NumLock); };
	interpret Scroll_Lock + AnyOf(all) { virtualModifier = ScrollLock; action = LockMods(modifiers = modMapMods); };
	interpret Any + AnyOf(all) { action = SetMods(modifiers = modMapMods, clearLocks); };
	indicator "Caps Lock" { whichModState = locked; modifiers = Lock; };
	indicator "Num Lock" { whichModState = locked; modifiers = NumLock; };
	indicator "Scroll Lock" { whichModState = locked; modifiers = ScrollLock; };
	indicator "Shift Lock" { whichModState = locked; modifiers = Shift; };
	indicator "Group 2" { groups = 0xfe; };
	indicator "Mouse Keys" { controls = MouseKeys; };
};
)";

struct modifier_keys {
    const char* modifier;
    uint8_t evdev[2];
};

constexpr modifier_keys MODIFIER_MAP[] = {
    {"Shift", {42, 54}}, {"Lock", {58, 0}}, {"Control", {29, 97}},
    {"Mod1", {56, 100}}, {"Mod2", {69, 0}}, {"Mod4", {125, 126}},
};

void write_keycodes(text_writer* out, const layout& keys) {
    append(out, "xkb_keycodes \"braskelot\" {\n\tminimum = 8;\n\tmaximum = 255;\n");
    for (unsigned evdev = 0; evdev < 248; ++evdev) {
        if (keys.keys[evdev].keysym != 0) append(out, "\t<K%u> = %u;\n", evdev + 8, evdev + 8);
    }
    for (const uint8_t evdev : CHARACTER_EVDEV) append(out, "\t<K%u> = %u;\n", evdev + 8u, evdev + 8u);
    append(out, "%s};\n", INDICATOR_NAMES);
}

void write_symbols(text_writer* out, const layout& keys, const uint32_t* keysyms) {
    append(out, "xkb_symbols \"braskelot\" {\n\tname[Group1] = \"English (US)\";\n");
    for (unsigned evdev = 0; evdev < 248; ++evdev) {
        const key_row& key = keys.keys[evdev];
        if (key.keysym == 0) continue;
        if (key.shifted_keysym == 0) {
            append(out, "\tkey <K%u> { repeat = No, type = \"ONE_LEVEL\", [ %s ] };\n", evdev + 8, key.name);
        } else if (key.shifted_name == nullptr) {
            append(out, "\tkey <K%u> { repeat = No, type = \"ALPHABETIC\", [ %s, %c ] };\n", evdev + 8, key.name,
                   static_cast<char>(key.shifted_keysym));
        } else {
            append(out, "\tkey <K%u> { repeat = No, type = \"TWO_LEVEL\", [ %s, %s ] };\n", evdev + 8, key.name,
                   key.shifted_name);
        }
    }
    for (size_t slot = 0; slot < CHARACTER_KEY_COUNT; ++slot) {
        char name[64] = "NoSymbol";
        if (keysyms[slot] != 0) xkb_keysym_get_name(keysyms[slot], name, sizeof name);
        append(out, "\tkey <K%u> { repeat = No, type = \"ONE_LEVEL\", [ %s ] };\n", CHARACTER_EVDEV[slot] + 8u, name);
    }
    for (const modifier_keys& row : MODIFIER_MAP) {
        append(out, "\tmodifier_map %s { <K%u>", row.modifier, row.evdev[0] + 8u);
        if (row.evdev[1] != 0) append(out, ", <K%u>", row.evdev[1] + 8u);
        append(out, " };\n");
    }
    append(out, "};\n");
}

} // namespace

uint8_t keymap_vk_keycode(uint16_t vk) {
    if (vk >= 256) return 0;
    const layout& keys = keymap_layout();
    const uint8_t evdev = keys.evdev_of_vk[vk];
    return evdev == 0 || keys.keys[evdev].keysym == 0 ? 0 : static_cast<uint8_t>(evdev + XKB_KEYCODE_OFFSET);
}

uint8_t keymap_keysym_keycode(uint32_t keysym, bool* shifted) {
    if (keysym == 0) return 0;
    const layout& keys = keymap_layout();
    for (unsigned evdev = 0; evdev < 248; ++evdev) {
        if (keys.keys[evdev].keysym == keysym) {
            *shifted = false;
            return static_cast<uint8_t>(evdev + XKB_KEYCODE_OFFSET);
        }
    }
    for (unsigned evdev = 0; evdev < 248; ++evdev) {
        if (keys.keys[evdev].shifted_keysym == keysym) {
            *shifted = true;
            return static_cast<uint8_t>(evdev + XKB_KEYCODE_OFFSET);
        }
    }
    return 0;
}

uint8_t keymap_character_keycode(size_t slot) {
    return slot < CHARACTER_KEY_COUNT ? static_cast<uint8_t>(CHARACTER_EVDEV[slot] + XKB_KEYCODE_OFFSET) : 0;
}

size_t keymap_write_text(char* buffer, size_t capacity, const uint32_t* keysyms) {
    if (capacity == 0) return 0;
    buffer[0] = '\0'; // empty when it does not fit
    text_writer out{buffer, capacity, 0, false};
    const layout& keys = keymap_layout();
    append(&out, "xkb_keymap {\n");
    write_keycodes(&out, keys);
    append(&out, "xkb_types \"braskelot\" {\n%s%s", VIRTUAL_MODIFIERS, TYPES);
    append(&out, "xkb_compat \"braskelot\" {\n%s%s", VIRTUAL_MODIFIERS, COMPAT);
    write_symbols(&out, keys, keysyms);
    append(&out, "};\n");
    return out.overflow ? 0 : out.length;
}
