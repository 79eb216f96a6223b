// Windows: consoles and the console's interruption requests.

#include <vector>

#include "platform/process.h"
#include "platform/text.h"
#include "platform/win32/win32.h"

namespace zelpack::platform {

namespace {

std::atomic<std::atomic<bool>*> interrupt_flag{nullptr};
std::atomic<int> interrupt_kind{0};
// Set once the run that took over the requests is done with its cleanup: a console being closed
// waits for it before the system ends the process.
HANDLE cleaned_up = CreateEventW(nullptr, TRUE, TRUE, nullptr);

// Runs on a thread of its own, which the system starts for the event.
BOOL WINAPI OnConsoleEvent(DWORD event) {
    const Interruption kind =
        event == CTRL_C_EVENT ? Interruption::Interrupt : Interruption::Terminate;
    int none = 0;
    interrupt_kind.compare_exchange_strong(none, static_cast<int>(kind));
    if (std::atomic<bool>* flag = interrupt_flag.load()) {
        flag->store(true);
    }
    if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) {
        return TRUE;
    }
    // Closing the console, logging off or shutting down ends the process once this returns
    // (after 5 seconds at the latest): the run gets that long to remove its files.
    if (cleaned_up != nullptr) {
        WaitForSingleObject(cleaned_up, 4500);
    }
    return FALSE;
}

}  // namespace

std::optional<std::u16string> EnvironmentVariable(std::u16string_view name) {
    const std::u16string key(name);
    std::vector<wchar_t> buffer(256);
    for (;;) {
        SetLastError(ERROR_SUCCESS);
        const DWORD length = GetEnvironmentVariableW(WideData(key), buffer.data(),
                                                     static_cast<DWORD>(buffer.size()));
        if (length == 0 && GetLastError() == ERROR_ENVVAR_NOT_FOUND) {
            return std::nullopt;
        }
        if (length < buffer.size()) {
            return FromWide(buffer.data(), length);
        }
        buffer.resize(length);
    }
}

Arguments::Arguments(int argc, char** argv) {
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide != nullptr) {
        for (int i = 0; i < count; ++i) {
            strings_.push_back(ToNative(FromWide(wide[i])));
        }
        LocalFree(wide);
    } else {
        strings_.assign(argv, argv + argc);
    }
    Point();
}

bool IsTerminal(StandardStream stream) {
    const DWORD which = stream == StandardStream::Input    ? STD_INPUT_HANDLE
                        : stream == StandardStream::Output ? STD_OUTPUT_HANDLE
                                                           : STD_ERROR_HANDLE;
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(which), &mode) != 0;
}

Status CancelOnInterrupt(std::atomic<bool>& flag) {
    interrupt_kind.store(0);
    interrupt_flag.store(&flag);
    if (cleaned_up != nullptr) {
        ResetEvent(cleaned_up);
    }
    if (!SetConsoleCtrlHandler(OnConsoleEvent, TRUE)) {
        return LastError();
    }
    return {};
}

Interruption ReceivedInterruption() {
    return static_cast<Interruption>(interrupt_kind.load());
}

int ExitStatusOf(Interruption kind) {
    switch (kind) {
        case Interruption::None:
            return 0;
        case Interruption::Interrupt:
            return 130;
        default:
            return 143;
    }
}

void IgnoreBrokenPipes() {}

void UseParentConsole() {
    // A redirected output is inherited and used as it is.
    const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    if ((output != nullptr && output != INVALID_HANDLE_VALUE) ||
        !AttachConsole(ATTACH_PARENT_PROCESS)) {
        return;
    }
    const HANDLE console =
        CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
    if (console != INVALID_HANDLE_VALUE) {
        SetStdHandle(STD_OUTPUT_HANDLE, console);
    }
}

void RaiseInterruption(Interruption kind) {
    if (kind == Interruption::None) {
        return;
    }
    // Windows has Ctrl+C and Ctrl+Break alone: every other request is a termination there.
    const DWORD event = kind == Interruption::Interrupt ? CTRL_C_EVENT : CTRL_BREAK_EVENT;
    // The handler itself, as the console would call it: a process may have no console to send
    // the event through.
    if (interrupt_flag.load() != nullptr) {
        OnConsoleEvent(event);
    } else {
        GenerateConsoleCtrlEvent(event, 0);
    }
}

void RestoreInterruptHandling() {
    SetConsoleCtrlHandler(OnConsoleEvent, FALSE);
    interrupt_flag.store(nullptr);
    if (cleaned_up != nullptr) {
        SetEvent(cleaned_up);
    }
}

}  // namespace zelpack::platform
