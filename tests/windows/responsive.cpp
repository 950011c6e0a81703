// Asks the window whose title holds a text to take one message at a time, for a while: WM_NULL
// through SendMessageTimeout with a limit of one second, every 50 ms. Prints how many it took
// and how long the longest took. Exits 1 when one was not taken within the limit or no window
// has such a title; this is what the system's "Not Responding" rests on.
//
// Usage: veltra-responsive TITLE-TEXT MILLISECONDS
#include <windows.h>

#include <shellapi.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

struct Search {
    const wchar_t* text;
    HWND found = nullptr;
};

BOOL CALLBACK visit(HWND window, LPARAM parameter) {
    auto* search = reinterpret_cast<Search*>(parameter);
    wchar_t title[256] = {};
    if (IsWindowVisible(window) && GetWindowTextW(window, title, 256) > 0 &&
        std::wcsstr(title, search->text) != nullptr) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

double millisecondsSince(const LARGE_INTEGER& start, const LARGE_INTEGER& frequency) {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return 1000.0 * static_cast<double>(now.QuadPart - start.QuadPart) /
           static_cast<double>(frequency.QuadPart);
}

} // namespace

int main() {
    int count = 0;
    wchar_t** args = CommandLineToArgvW(GetCommandLineW(), &count);
    if (args == nullptr || count != 3) {
        std::fprintf(stderr, "usage: veltra-responsive TITLE-TEXT MILLISECONDS\n");
        return 2;
    }
    Search search{args[1]};
    EnumWindows(visit, reinterpret_cast<LPARAM>(&search));
    if (search.found == nullptr) {
        std::fprintf(stderr, "veltra-responsive: no window has such a title\n");
        return 1;
    }
    const double length = std::wcstod(args[2], nullptr);
    LARGE_INTEGER frequency;
    LARGE_INTEGER start;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    int taken = 0;
    int missed = 0;
    double longest = 0.0;
    while (millisecondsSince(start, frequency) < length) {
        LARGE_INTEGER sent;
        QueryPerformanceCounter(&sent);
        DWORD_PTR result = 0;
        if (SendMessageTimeoutW(search.found, WM_NULL, 0, 0, SMTO_NORMAL, 1000, &result) != 0) {
            ++taken;
        } else {
            ++missed;
        }
        const double took = millisecondsSince(sent, frequency);
        longest = took > longest ? took : longest;
        Sleep(50);
    }
    std::printf("%d messages taken, %d not within 1 s; the longest took %.0f ms\n", taken, missed,
                longest);
    LocalFree(args);
    return missed == 0 && taken > 0 ? 0 : 1;
}
