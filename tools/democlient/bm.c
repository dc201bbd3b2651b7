/*
 * Stand-in for the game client: the launcher starts the channel profile's
 * game executable (ClientDir\<folder>\<executable>) after a login,
 * and tests need to see exactly what it was given. On start this program
 * writes its command line, working directory and own path to bm_started.txt
 * beside the executable, then shows a window titled with the profile's game
 * title (DEMO_GAME_TITLE, given by the build as a UTF-8 string) until closed.
 *
 * Each value is written twice: once readable (UTF-8, control characters shown
 * as \xNN so every item stays on one line) and once as the hex of its UTF-16
 * code units, which is exact even for a value holding CR, LF or an unpaired
 * surrogate. Tests compare against the hex form.
 *
 * BM_EXIT_AFTER_MS=<n> in the environment closes the window by itself after
 * n milliseconds, so a test that starts it through the launcher does not
 * leave it running.
 *
 * Build: x86_64-w64-mingw32-gcc-posix -municode -mwindows -static -O2
 *        '-DDEMO_GAME_TITLE="Title"' -o <game executable> bm.c
 */
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef UNICODE
#define UNICODE
#endif
#ifndef _UNICODE
#define _UNICODE
#endif
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>

#ifndef DEMO_GAME_TITLE
#error "DEMO_GAME_TITLE (the channel profile's game title) is not defined"
#endif
#define WIDEN_(s) L##s
#define WIDEN(s) WIDEN_(s)
#define GAME_TITLE WIDEN(DEMO_GAME_TITLE)
#define REPORT_NAME L"bm_started.txt"
#define EXIT_TIMER_ID 1

typedef struct {
    char *data;
    size_t len;
    size_t cap;
    int failed;
} Buf;

static void buf_put(Buf *b, const char *s, size_t n)
{
    if (b->failed)
        return;
    if (b->len + n + 1 > b->cap) {
        size_t cap = b->cap ? b->cap : 1024;
        while (b->len + n + 1 > cap)
            cap *= 2;
        char *p = realloc(b->data, cap);
        if (!p) {
            b->failed = 1;
            return;
        }
        b->data = p;
        b->cap = cap;
    }
    memcpy(b->data + b->len, s, n);
    b->len += n;
    b->data[b->len] = '\0';
}

static void buf_puts(Buf *b, const char *s) { buf_put(b, s, strlen(s)); }

/* Readable form: UTF-8, with characters below U+0020 and U+007F escaped so
 * that a value never breaks the one-item-per-line layout. */
static void put_readable(Buf *b, const wchar_t *w)
{
    size_t n = wcslen(w);
    size_t start = 0;
    for (size_t i = 0; i <= n; i++) {
        int ctl = i < n && (w[i] < 0x20 || w[i] == 0x7f);
        if (i == n || ctl) {
            if (i > start) {
                int len = (int)(i - start);
                int need = WideCharToMultiByte(CP_UTF8, 0, w + start, len, NULL, 0, NULL, NULL);
                if (need > 0) {
                    char *tmp = malloc((size_t)need);
                    if (!tmp) {
                        b->failed = 1;
                        return;
                    }
                    WideCharToMultiByte(CP_UTF8, 0, w + start, len, tmp, need, NULL, NULL);
                    buf_put(b, tmp, (size_t)need);
                    free(tmp);
                }
            }
            if (ctl) {
                char esc[8];
                snprintf(esc, sizeof esc, "\\x%02X", (unsigned)w[i]);
                buf_puts(b, esc);
            }
            start = i + 1;
        }
    }
}

static void put_hex(Buf *b, const wchar_t *w)
{
    char h[8];
    for (; *w; w++) {
        snprintf(h, sizeof h, "%04X", (unsigned)*w);
        buf_put(b, h, 4);
    }
}

static void put_item(Buf *b, const char *label, const wchar_t *value)
{
    buf_puts(b, label);
    buf_puts(b, "=");
    put_readable(b, value);
    buf_puts(b, "\n");
    buf_puts(b, label);
    buf_puts(b, "_utf16hex=");
    put_hex(b, value);
    buf_puts(b, "\n");
}

/* Module path of any length; NULL on failure. Caller frees. */
static wchar_t *module_path(void)
{
    DWORD cap = MAX_PATH;
    for (;;) {
        wchar_t *p = malloc(cap * sizeof *p);
        if (!p)
            return NULL;
        DWORD n = GetModuleFileNameW(NULL, p, cap);
        if (n == 0) {
            free(p);
            return NULL;
        }
        if (n < cap)
            return p;
        free(p);
        if (cap >= 32768)
            return NULL;
        cap *= 2;
    }
}

static wchar_t *current_directory(void)
{
    DWORD need = GetCurrentDirectoryW(0, NULL);
    if (need == 0)
        return NULL;
    wchar_t *p = malloc(need * sizeof *p);
    if (!p)
        return NULL;
    DWORD n = GetCurrentDirectoryW(need, p);
    if (n == 0 || n >= need) {
        free(p);
        return NULL;
    }
    return p;
}

/* Writes the report next to the executable. The file appears whole or not at
 * all (written under a temporary name, then moved into place), so a test
 * polling for it never reads half a report. Returns 1 on success. */
static int write_report(const wchar_t *exe, const wchar_t *cmdline, const wchar_t *cwd)
{
    Buf b = {0};
    wchar_t pid[32];
    swprintf(pid, 32, L"%lu", (unsigned long)GetCurrentProcessId());

    buf_puts(&b, "title=" DEMO_GAME_TITLE "\n");
    put_item(&b, "command_line", cmdline);
    put_item(&b, "working_directory", cwd ? cwd : L"");
    put_item(&b, "executable", exe);
    put_item(&b, "pid", pid);
    buf_puts(&b, "end=1\n");
    if (b.failed) {
        free(b.data);
        return 0;
    }

    const wchar_t *slash = wcsrchr(exe, L'\\');
    size_t dirlen = slash ? (size_t)(slash - exe) + 1 : 0;
    size_t cap = dirlen + wcslen(REPORT_NAME) + 8;
    wchar_t *final_path = malloc(cap * sizeof(wchar_t));
    wchar_t *tmp_path = malloc(cap * sizeof(wchar_t));
    int ok = 0;
    if (final_path && tmp_path) {
        wmemcpy(final_path, exe, dirlen);
        wcscpy(final_path + dirlen, REPORT_NAME);
        wcscpy(tmp_path, final_path);
        wcscat(tmp_path, L".tmp");

        HANDLE h = CreateFileW(tmp_path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, NULL);
        if (h != INVALID_HANDLE_VALUE) {
            DWORD written = 0;
            BOOL w = WriteFile(h, b.data, (DWORD)b.len, &written, NULL);
            BOOL c = CloseHandle(h);
            if (w && c && written == (DWORD)b.len &&
                MoveFileExW(tmp_path, final_path, MOVEFILE_REPLACE_EXISTING))
                ok = 1;
            else
                DeleteFileW(tmp_path);
        }
    }
    free(final_path);
    free(tmp_path);
    free(b.data);
    return ok;
}

static const wchar_t *g_shown_cmdline = L"";
static int g_report_ok = 0;

static LRESULT CALLBACK window_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    switch (msg) {
    case WM_TIMER:
        if (wp == EXIT_TIMER_ID) {
            KillTimer(hwnd, EXIT_TIMER_ID);
            PostMessageW(hwnd, WM_CLOSE, 0, 0);
        }
        return 0;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        RECT rc;
        GetClientRect(hwnd, &rc);
        HBRUSH bg = CreateSolidBrush(RGB(20, 16, 24));
        FillRect(dc, &rc, bg);
        DeleteObject(bg);
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, RGB(212, 175, 55));
        InflateRect(&rc, -16, -16);
        DrawTextW(dc, GAME_TITLE L" (demo client)", -1, &rc, DT_LEFT | DT_TOP | DT_SINGLELINE);
        rc.top += 32;
        SetTextColor(dc, RGB(230, 224, 210));
        DrawTextW(dc, g_report_ok ? L"Started with:" : L"Could not write " REPORT_NAME L". Started with:",
                  -1, &rc, DT_LEFT | DT_TOP | DT_SINGLELINE);
        rc.top += 24;
        DrawTextW(dc, g_shown_cmdline, -1, &rc, DT_LEFT | DT_TOP | DT_WORDBREAK | DT_NOPREFIX);
        EndPaint(hwnd, &ps);
        return 0;
    }
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

static UINT exit_after_ms(void)
{
    wchar_t v[32];
    DWORD n = GetEnvironmentVariableW(L"BM_EXIT_AFTER_MS", v, 32);
    if (n == 0 || n >= 32)
        return 0;
    wchar_t *end = NULL;
    unsigned long ms = wcstoul(v, &end, 10);
    if (end == v || *end != L'\0' || ms == 0 || ms > 86400000UL)
        return 0;
    return (UINT)ms;
}

int WINAPI wWinMain(HINSTANCE inst, HINSTANCE prev, PWSTR args, int show)
{
    (void)prev;
    (void)args;

    const wchar_t *cmdline = GetCommandLineW();
    wchar_t *exe = module_path();
    wchar_t *cwd = current_directory();
    /* The report comes first: even where no window can be shown, the test
     * still learns how the client was started. */
    g_report_ok = exe ? write_report(exe, cmdline, cwd) : 0;
    g_shown_cmdline = cmdline;

    WNDCLASSW wc = {0};
    wc.lpfnWndProc = window_proc;
    wc.hInstance = inst;
    wc.hCursor = LoadCursorW(NULL, (LPCWSTR)IDC_ARROW);
    wc.hIcon = LoadIconW(NULL, (LPCWSTR)IDI_APPLICATION);
    wc.lpszClassName = L"TovDemoGameClient";
    int rc = 0;
    HWND hwnd = NULL;
    if (RegisterClassW(&wc))
        hwnd = CreateWindowExW(0, wc.lpszClassName, GAME_TITLE, WS_OVERLAPPEDWINDOW,
                               CW_USEDEFAULT, CW_USEDEFAULT, 800, 450,
                               NULL, NULL, inst, NULL);
    if (!hwnd) {
        rc = 2;
    } else {
        UINT ms = exit_after_ms();
        if (ms)
            SetTimer(hwnd, EXIT_TIMER_ID, ms, NULL);
        ShowWindow(hwnd, show);
        UpdateWindow(hwnd);
        MSG msg;
        while (GetMessageW(&msg, NULL, 0, 0) > 0) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    if (!g_report_ok && rc == 0)
        rc = 3;
    free(exe);
    free(cwd);
    return rc;
}
