/* Starts one installer, waits for its end and prints the seconds it took and
 * its exit code ("12.345678 0"). bench/peers.sh runs it under Wine, so that
 * only the installer's own process is timed: not Wine's start-up on the Linux
 * side, nor this program's.
 *
 * Usage: peer_timer COMMAND-LINE...  (the rest of the line, as written)
 *
 * A 32-bit program, like the installers it times: "C:\Windows\System32" in
 * the command line is the 32-bit system folder, "C:\Windows\Sysnative" the
 * 64-bit one. */
#include <windows.h>

#include <stdio.h>

/* The command line after this program's own name. */
static wchar_t* RestOfCommandLine(void)
{
    wchar_t* line = GetCommandLineW();
    int quoted = 0;
    for (; *line != L'\0'; ++line) {
        if (*line == L'"')
            quoted = !quoted;
        else if (!quoted && (*line == L' ' || *line == L'\t'))
            break;
    }
    while (*line == L' ' || *line == L'\t')
        ++line;
    return line;
}

int main(void)
{
    wchar_t* command = RestOfCommandLine();
    if (*command == L'\0') {
        fprintf(stderr, "usage: peer_timer COMMAND-LINE...\n");
        return 2;
    }
    STARTUPINFOW startup;
    ZeroMemory(&startup, sizeof(startup));
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process;
    ZeroMemory(&process, sizeof(process));
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    if (!CreateProcessW(NULL, command, NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process)) {
        fprintf(stderr, "peer_timer: cannot start %ls (error %lu)\n", command, GetLastError());
        return 2;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    QueryPerformanceCounter(&end);
    DWORD exitCode = 0;
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    printf("%.6f %lu\n", (double)(end.QuadPart - start.QuadPart) / (double)frequency.QuadPart, exitCode);
    return 0;
}
