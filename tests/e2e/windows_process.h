#ifndef MSISETUP_TESTS_WINDOWS_PROCESS_H
#define MSISETUP_TESTS_WINDOWS_PROCESS_H

// Helpers for the end-to-end tests, which run as Windows programs (under Wine here) and start the
// real setup.exe the way a script would. Command lines and paths are UTF-16, as Windows keeps
// them, so that any text, an unpaired surrogate included, reaches setup.exe exactly.

#include <windows.h>

#include <map>
#include <string>

struct process_result {
    bool started = false;
    DWORD exit_code = 0;
    std::string output;  // standard output, byte for byte
    std::string error;   // standard error, byte for byte
    DWORD milliseconds = 0;
};

// Runs `command_line` (exactly as given: quoting is the caller's) in `directory` with standard
// output and standard error captured, and waits for it to end.
process_result run_process(const std::wstring& command_line, const std::wstring& directory);

// Runs the system's installer host with `arguments` in `directory` and waits for it to end, its
// output going to NUL. Under Wine the first program of a session that needs a window (msiexec
// does) starts the session's desktop process and hands it its own standard error, and that
// process lives as long as the session: a pipe given to msiexec would never reach EOF.
process_result run_installer_host(const std::wstring& arguments, const std::wstring& directory);

// The system's own installer host by its full path, unquoted, as setup.exe asks for it. (On 64-bit
// Windows a 32-bit program's system32 leads to syswow64: the host that runs sees itself there.)
std::wstring system_msiexec();

// The same, quoted, to start it directly.
std::wstring quoted_system_msiexec();

// Whether this is 64-bit Windows, where a 32-bit program runs through WoW64 (this test program
// may be either): only 64-bit Windows has a WoW64 system folder.
bool on_64_bit_windows();

// The folder that holds this test program; the test layout is built around it.
std::wstring program_directory();

// A fresh, empty folder for one test, named after it, in this layout's work folder.
std::wstring fresh_directory(const std::string& name);

// The whole content of a file, or "" when it does not exist.
std::string read_file(const std::wstring& path);

bool file_exists(const std::wstring& path);

// "key=value" lines, as the stand-in installer host records them.
std::map<std::string, std::string> parse_record(const std::string& text);

// Sets an environment variable for this process, and so for everything it starts, until the end
// of the scope; `value` null removes it.
class scoped_environment {
public:
    scoped_environment(const char* name, const char* value);
    ~scoped_environment();
    scoped_environment(const scoped_environment&) = delete;
    scoped_environment& operator=(const scoped_environment&) = delete;

private:
    std::string name_;
    std::string previous_;
    bool had_previous_;
};

#endif
