// A witness for the Windows program's tests: it watches the system's input
// stream through the low-level keyboard and mouse hooks and prints one line per
// event, so a test driver can compare what really arrived with what the
// commands must produce.
//
// Output (standard output, LF-ended, all written by the main thread so that
// events and command answers stay in the order the thread saw them):
//   OBSERVER_READY                      once, after both hooks are installed
//   key MSG vk=V scan=S ext=E inj=I t=T     one per keyboard event
//   mouse MSG x=X y=Y data=D inj=I t=T      one per mouse event
//   MARK text                          answer to "MARK text"
//   POS x y                            answer to "POS" (GetCursorPos)
//   KEYS v1 v2 ...                      answer to "KEYS": codes whose async state is down
//   SCANS s0 s1 ... s255                answer to "SCANS": MapVirtualKeyW(vk, MAPVK_VK_TO_VSC)
// MSG is the message name (WM_KEYDOWN, WM_SYSKEYUP, WM_LBUTTONDOWN, ...); D is
// mouseData as a signed 32-bit number; T is the event's time stamp in ms.
//
// Commands arrive on standard input, one a line. A second thread reads them
// and hands each to the main thread, which answers it between two hook calls.
// "QUIT" or the end of input ends the program.

#include <windows.h>

#include <cstdio>
#include <cstring>

namespace {

constexpr UINT WM_OBSERVER_COMMAND = WM_APP + 1;
constexpr int LINE_CAPACITY = 512;

DWORD main_thread_id;
HANDLE command_done;
// The command being handed over; the reader waits for command_done before it
// reuses the buffer, so one buffer is enough.
char command_line[LINE_CAPACITY];

void write_out(const char* text) {
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text, static_cast<DWORD>(std::strlen(text)), &written, nullptr);
}

const char* message_name(WPARAM message) {
    switch (message) {
    case WM_KEYDOWN: return "WM_KEYDOWN";
    case WM_KEYUP: return "WM_KEYUP";
    case WM_SYSKEYDOWN: return "WM_SYSKEYDOWN";
    case WM_SYSKEYUP: return "WM_SYSKEYUP";
    case WM_MOUSEMOVE: return "WM_MOUSEMOVE";
    case WM_LBUTTONDOWN: return "WM_LBUTTONDOWN";
    case WM_LBUTTONUP: return "WM_LBUTTONUP";
    case WM_RBUTTONDOWN: return "WM_RBUTTONDOWN";
    case WM_RBUTTONUP: return "WM_RBUTTONUP";
    case WM_MBUTTONDOWN: return "WM_MBUTTONDOWN";
    case WM_MBUTTONUP: return "WM_MBUTTONUP";
    case WM_MOUSEWHEEL: return "WM_MOUSEWHEEL";
    case WM_MOUSEHWHEEL: return "WM_MOUSEHWHEEL";
    case WM_XBUTTONDOWN: return "WM_XBUTTONDOWN";
    case WM_XBUTTONUP: return "WM_XBUTTONUP";
    default: return "WM_OTHER";
    }
}

LRESULT CALLBACK keyboard_hook(int code, WPARAM message, LPARAM data) {
    if (code == HC_ACTION) {
        const auto* event = reinterpret_cast<const KBDLLHOOKSTRUCT*>(data);
        char line[160];
        std::snprintf(line, sizeof line, "key %s vk=%lu scan=%lu ext=%d inj=%d t=%lu\n", message_name(message),
                      event->vkCode, event->scanCode, (event->flags & LLKHF_EXTENDED) ? 1 : 0,
                      (event->flags & LLKHF_INJECTED) ? 1 : 0, event->time);
        write_out(line);
    }
    return CallNextHookEx(nullptr, code, message, data);
}

LRESULT CALLBACK mouse_hook(int code, WPARAM message, LPARAM data) {
    if (code == HC_ACTION) {
        const auto* event = reinterpret_cast<const MSLLHOOKSTRUCT*>(data);
        char line[160];
        std::snprintf(line, sizeof line, "mouse %s x=%ld y=%ld data=%ld inj=%d t=%lu\n", message_name(message),
                      event->pt.x, event->pt.y, static_cast<long>(static_cast<LONG>(event->mouseData)),
                      (event->flags & LLMHF_INJECTED) ? 1 : 0, event->time);
        write_out(line);
    }
    return CallNextHookEx(nullptr, code, message, data);
}

// Runs on the main thread; false ends the message loop.
bool answer_command(const char* command) {
    char line[LINE_CAPACITY + 16];
    if (std::strncmp(command, "MARK ", 5) == 0) {
        std::snprintf(line, sizeof line, "MARK %s\n", command + 5);
        write_out(line);
    } else if (std::strcmp(command, "POS") == 0) {
        POINT point{};
        GetCursorPos(&point);
        std::snprintf(line, sizeof line, "POS %ld %ld\n", point.x, point.y);
        write_out(line);
    } else if (std::strcmp(command, "KEYS") == 0) {
        write_out("KEYS");
        for (int vk = 1; vk < 256; ++vk) {
            if ((GetAsyncKeyState(vk) & 0x8000) == 0) continue;
            std::snprintf(line, sizeof line, " %d", vk);
            write_out(line);
        }
        write_out("\n");
    } else if (std::strcmp(command, "SCANS") == 0) {
        write_out("SCANS");
        for (UINT vk = 0; vk < 256; ++vk) {
            std::snprintf(line, sizeof line, " %u", MapVirtualKeyW(vk, MAPVK_VK_TO_VSC));
            write_out(line);
        }
        write_out("\n");
    } else if (std::strcmp(command, "QUIT") == 0) {
        return false;
    } else {
        std::snprintf(line, sizeof line, "UNKNOWN %s\n", command);
        write_out(line);
    }
    return true;
}

// The reader thread: one line at a time, handed over and waited for, so the
// answer lands in the output after every event the main thread saw before it.
DWORD WINAPI read_commands(void*) {
    const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    char chunk[256];
    int length = 0;
    for (;;) {
        DWORD got = 0;
        // Under Wine a closed pipe reads as success with 0 bytes.
        if (!ReadFile(input, chunk, sizeof chunk, &got, nullptr) || got == 0) break;
        for (DWORD i = 0; i < got; ++i) {
            const char byte = chunk[i];
            if (byte == '\r') continue;
            if (byte != '\n') {
                if (length < LINE_CAPACITY - 1) command_line[length++] = byte;
                continue;
            }
            command_line[length] = '\0';
            length = 0;
            PostThreadMessageW(main_thread_id, WM_OBSERVER_COMMAND, 0, 0);
            WaitForSingleObject(command_done, INFINITE);
        }
    }
    std::strcpy(command_line, "QUIT");
    PostThreadMessageW(main_thread_id, WM_OBSERVER_COMMAND, 0, 0);
    return 0;
}

} // namespace

int main() {
    main_thread_id = GetCurrentThreadId();
    MSG message;
    // Creates this thread's message queue before the reader may post to it.
    PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE);
    command_done = CreateEventW(nullptr, FALSE, FALSE, nullptr);

    const HINSTANCE self = GetModuleHandleW(nullptr);
    HHOOK keyboard = SetWindowsHookExW(WH_KEYBOARD_LL, keyboard_hook, self, 0);
    HHOOK mouse = SetWindowsHookExW(WH_MOUSE_LL, mouse_hook, self, 0);
    if (keyboard == nullptr || mouse == nullptr) {
        write_out("OBSERVER_FAILED hooks not installed\n");
        return 1;
    }
    write_out("OBSERVER_READY\n");
    CreateThread(nullptr, 0, read_commands, nullptr, 0, nullptr);

    // Hook calls are delivered while this thread waits in GetMessage.
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (message.message != WM_OBSERVER_COMMAND) continue;
        const bool go_on = answer_command(command_line);
        SetEvent(command_done);
        if (!go_on) break;
    }
    UnhookWindowsHookEx(keyboard);
    UnhookWindowsHookEx(mouse);
    return 0;
}
