// The system's part on Windows.
#include "platform/system.h"

#include <allegro.h>
#include <winalleg.h>
#include <mmsystem.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

// Set in the copy of the game that only tries the datafile, to the datafile's path.
const char* const trial_variable = "VORN_DATAFILE_TRIAL";
const wchar_t* const log_name = L"ghosts-of-vorn.log";
DatafileTrial datafile_trial = nullptr;

std::wstring widen(const std::string& text) {
    for (UINT code_page : {static_cast<UINT>(CP_UTF8), static_cast<UINT>(CP_ACP)}) {
        const DWORD flags = code_page == CP_UTF8 ? MB_ERR_INVALID_CHARS : 0;
        const int n = MultiByteToWideChar(code_page, flags, text.data(), static_cast<int>(text.size()), nullptr, 0);
        if (n <= 0 && !text.empty())
            continue;
        std::wstring wide(static_cast<std::size_t>(n), L'\0');
        MultiByteToWideChar(code_page, flags, text.data(), static_cast<int>(text.size()), &wide[0], n);
        return wide;
    }
    return L"";
}

int errno_of(DWORD error) {
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_WRITE_PROTECT:
        return EACCES;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return ENOSPC;
    default:
        return EIO;
    }
}

LONG WINAPI end_trial(EXCEPTION_POINTERS*) {
    TerminateProcess(GetCurrentProcess(), 3);
    return EXCEPTION_EXECUTE_HANDLER;
}

// The copy started by datafile_loads: loads the datafile as the game would, and says by its
// exit status whether that worked; a crash ends it quietly, with no error dialog.
[[noreturn]] void run_datafile_trial(const char* path) {
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    SetUnhandledExceptionFilter(end_trial);
    int ok = install_allegro(SYSTEM_NONE, &errno, atexit) == 0;
    if (ok) {
        set_color_depth(16);
        ok = datafile_trial(path);
    }
    TerminateProcess(GetCurrentProcess(), ok ? 0 : 1);
    _exit(1);
}

void end_platform() {
    timeEndPeriod(1);
    // A run with nothing to say leaves no log behind.
    if (ftell(stderr) == 0 && fclose(stderr) == 0)
        DeleteFileW(log_name);
}

std::wstring own_program() {
    std::vector<wchar_t> name(MAX_PATH);
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, name.data(), static_cast<DWORD>(name.size()));
        if (n == 0)
            return L"";
        if (n < name.size())
            return std::wstring(name.data(), n);
        name.resize(name.size() * 2);
    }
}

}  // namespace

void start_platform(DatafileTrial trial) {
    datafile_trial = trial;
    if (const char* trial_path = getenv(trial_variable))
        run_datafile_trial(trial_path);
    // Windows sleeps in steps of 15.6 ms unless asked for finer ones, too coarse for 60 a second.
    timeBeginPeriod(1);
    // There is no terminal: what Linux prints on stderr goes to a log beside the scores.
    if (_wfreopen(log_name, L"w", stderr))
        setvbuf(stderr, nullptr, _IONBF, 0);
    atexit(end_platform);
}

void hush_sound_library() {}

// Another copy of the game tries the load first, as a crash there cannot be caught here.
bool datafile_loads(const char* path) {
    const std::wstring program = own_program();
    if (!datafile_trial || program.empty() || !SetEnvironmentVariableA(trial_variable, path))
        return true;
    std::wstring command = L"\"" + program + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    const bool started = CreateProcessW(program.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                        &startup, &process);
    SetEnvironmentVariableA(trial_variable, nullptr);
    if (!started)
        return true;
    DWORD status = 1;
    WaitForSingleObject(process.hProcess, INFINITE);
    GetExitCodeProcess(process.hProcess, &status);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return status == 0;
}

bool read_plain_file(const std::string& path, std::string& text, std::size_t max_bytes) {
    const HANDLE file = CreateFileW(widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    // A pipe or a device would block or never end.
    bool ok = GetFileType(file) == FILE_TYPE_DISK;
    char chunk[4096];
    while (ok && text.size() < max_bytes) {
        DWORD n = 0;
        const DWORD wanted = static_cast<DWORD>(std::min(sizeof chunk, max_bytes - text.size()));
        ok = ReadFile(file, chunk, wanted, &n, nullptr);
        if (!ok || n == 0)
            break;
        text.append(chunk, n);
    }
    CloseHandle(file);
    return ok;
}

bool replace_file(const std::string& path, const std::string& bytes) {
    const std::wstring target = widen(path);
    const DWORD attributes = GetFileAttributesW(target.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
        errno = EACCES;
        return false;
    }
    const std::wstring temp = target + L".new";
    const HANDLE file = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        errno = errno_of(GetLastError());
        return false;
    }
    DWORD written = 0;
    const DWORD size = static_cast<DWORD>(bytes.size());
    // On the disk before the move, so that a power cut leaves the old file or the new one.
    bool ok = WriteFile(file, bytes.data(), size, &written, nullptr) && written == size && FlushFileBuffers(file);
    DWORD error = ok ? 0 : GetLastError();
    CloseHandle(file);
    // rename() refuses to replace an existing file here; this replaces it in one step.
    if (ok && !MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        ok = false;
        error = GetLastError();
    }
    if (ok)
        return true;
    DeleteFileW(temp.c_str());
    errno = error ? errno_of(error) : EIO;
    return false;
}

// Beside the scores: the folder the game runs in, which the installer's shortcut names.
std::string settings_folder() { return "."; }
