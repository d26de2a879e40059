#include "windows_process.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

namespace {

HANDLE inheritable_pipe(HANDLE* read_end) {
    SECURITY_ATTRIBUTES attributes{sizeof attributes, nullptr, TRUE};
    HANDLE write_end = nullptr;
    if (!CreatePipe(read_end, &write_end, &attributes, 0)) {
        return nullptr;
    }
    SetHandleInformation(*read_end, HANDLE_FLAG_INHERIT, 0);
    return write_end;
}

std::string read_all(HANDLE pipe) {
    std::string text;
    char buffer[4096];
    DWORD count = 0;
    while (ReadFile(pipe, buffer, sizeof buffer, &count, nullptr) && count != 0) {
        text.append(buffer, count);
    }
    return text;
}

HANDLE inheritable_nul(DWORD access) {
    SECURITY_ATTRIBUTES attributes{sizeof attributes, nullptr, TRUE};
    return CreateFileW(L"NUL", access, FILE_SHARE_READ | FILE_SHARE_WRITE, &attributes,
                       OPEN_EXISTING, 0, nullptr);
}

// Runs `command_line` in `directory` and waits for it to end; with `capture`, its standard output
// and error come back through pipes, otherwise they go to NUL.
process_result run(const std::wstring& command_line, const std::wstring& directory, bool capture) {
    process_result result;
    HANDLE output_read = nullptr;
    HANDLE error_read = nullptr;
    HANDLE input = inheritable_nul(GENERIC_READ);
    HANDLE output_write = capture ? inheritable_pipe(&output_read) : inheritable_nul(GENERIC_WRITE);
    HANDLE error_write = capture ? inheritable_pipe(&error_read) : inheritable_nul(GENERIC_WRITE);

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = input;
    startup.hStdOutput = output_write;
    startup.hStdError = error_write;
    PROCESS_INFORMATION process{};
    std::wstring writable = command_line;
    const DWORD begin = GetTickCount();
    result.started = CreateProcessW(nullptr, writable.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                    directory.c_str(), &startup, &process) != FALSE;
    CloseHandle(output_write);
    CloseHandle(error_write);
    CloseHandle(input);
    if (result.started) {
        if (capture) {
            // Both pipes reach EOF only when every process holding their write ends has ended,
            // which includes anything the launcher might wrongly let inherit them.
            result.output = read_all(output_read);
            result.error = read_all(error_read);
        }
        WaitForSingleObject(process.hProcess, INFINITE);
        result.milliseconds = GetTickCount() - begin;
        GetExitCodeProcess(process.hProcess, &result.exit_code);
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
    }
    if (capture) {
        CloseHandle(output_read);
        CloseHandle(error_read);
    }
    return result;
}

}  // namespace

process_result run_process(const std::wstring& command_line, const std::wstring& directory) {
    return run(command_line, directory, true);
}

process_result run_installer_host(const std::wstring& arguments, const std::wstring& directory) {
    return run(quoted_system_msiexec() + L" " + arguments, directory, false);
}

std::wstring system_msiexec() {
    wchar_t directory[MAX_PATH];
    const UINT length = GetSystemDirectoryW(directory, MAX_PATH);
    return std::wstring(directory, length) + L"\\msiexec.exe";
}

std::wstring quoted_system_msiexec() {
    return L"\"" + system_msiexec() + L"\"";
}

bool on_64_bit_windows() {
    wchar_t directory[MAX_PATH];
    return GetSystemWow64DirectoryW(directory, MAX_PATH) != 0;
}

std::wstring program_directory() {
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    return std::filesystem::path(std::wstring(path, length)).parent_path().wstring();
}

std::wstring fresh_directory(const std::string& name) {
    // Each layout's own, since the two layouts' entries run at the same time.
    const std::filesystem::path directory = std::filesystem::path(program_directory()) /
                                            (on_64_bit_windows() ? "work-64" : "work-32") / name;
    std::filesystem::remove_all(directory);
    std::filesystem::create_directories(directory);
    return directory.wstring();
}

std::string read_file(const std::wstring& path) {
    std::ifstream file(std::filesystem::path(path), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

bool file_exists(const std::wstring& path) {
    return std::filesystem::exists(path);
}

std::map<std::string, std::string> parse_record(const std::string& text) {
    std::map<std::string, std::string> record;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        const std::string::size_type equals = line.find('=');
        if (equals != std::string::npos) {
            record[line.substr(0, equals)] = line.substr(equals + 1);
        }
    }
    return record;
}

scoped_environment::scoped_environment(const char* name, const char* value) : name_(name) {
    char buffer[32768];
    const DWORD length = GetEnvironmentVariableA(name, buffer, sizeof buffer);
    had_previous_ = length != 0 && length < sizeof buffer;
    if (had_previous_) {
        previous_.assign(buffer, length);
    }
    SetEnvironmentVariableA(name, value);
}

scoped_environment::~scoped_environment() {
    SetEnvironmentVariableA(name_.c_str(), had_previous_ ? previous_.c_str() : nullptr);
}
