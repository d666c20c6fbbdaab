// The few calls outside the serial port where Linux and Windows differ: files that are
// appended to, locked and synced, local and UTC time, the console, and Ctrl+C. Each has
// a POSIX body (System.cpp) and a Windows one (SystemWin.cpp); nothing above the
// platform layer calls the system for these itself.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <string>

namespace platform {

// Error codes of the file calls are errno values on both systems (the C runtime's on
// Windows); ErrorText gives their words.
std::string ErrorText(int error);

struct FileInfo {
    bool regular = false;  // a plain file: not a directory, FIFO or device
    uint64_t size = 0;
    std::time_t modified = 0;
};

// An open file, closed by its destructor. Calls return 0 or the error code.
class File {
public:
    File() = default;
    ~File() { Close(); }
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    // Made when missing; every write goes to the end, also with other writers.
    int OpenToAppend(const std::string& path);
    // The same for a file the program makes for itself: never through a link (ELOOP), and
    // with `mustBeNew` made here and now, refusing whatever is at `path` already (EEXIST),
    // so that nobody can put a link or a file of theirs in its place.
    int OpenOwnToAppend(const std::string& path, bool mustBeNew);
    // Without waiting for a writer, as opening a FIFO would. A directory either opens
    // (Linux; Info tells it is no regular file) or fails with EISDIR (Windows).
    int OpenToRead(const std::string& path);
    bool IsOpen() const { return m_fd >= 0; }
    void Close();

    int Info(FileInfo& info) const;
    // Exclusive against everyone who locks the same file this way; waits for them.
    // Ends with Close.
    int Lock();
    // Writes everything or fails; `written` says how much went before a failure.
    int WriteAll(const void* data, std::size_t size, std::size_t& written);
    // Bytes read, 0 at the end, -1 with the error in `error`.
    long Read(void* data, std::size_t size, int& error);
    int Sync();  // the data on disk

private:
    int m_fd = -1;
};

// 0 when the directory was made or is there already, else the error.
int MakeDirectory(const std::string& path);
// Anything is at `path`: a file, a directory, a link (also one that leads nowhere).
bool PathTaken(const std::string& path);

// The machine's name on the network, for the station a record comes from; empty when
// it cannot be told.
std::string HostName();

std::tm LocalTime(std::time_t t);
std::tm UtcTime(std::time_t t);

// The stream itself, made to pass bytes unchanged: Windows translates line ends on the
// standard streams unless told not to.
std::FILE* BinaryInput(std::FILE* stream);

// A terminal that takes ANSI cursor movement (on Windows a console switched to it).
bool IsTerminal(std::FILE* stream);

// Ctrl+C, and the requests to end a program (SIGTERM; on Windows Ctrl+Break and closing
// the console): `handler` is called with one of these. It may only set flags and events:
// on Linux it runs in a signal handler.
enum StopRequest : int { kInterruptRequest = 1, kTerminateRequest = 2 };
void OnStopRequest(void (*handler)(int request));
const char* StopRequestName(int request);  // "SIGINT", "SIGTERM"; "Ctrl+C", "Ctrl+Break"

// A write to a pipe whose reader has gone fails with EPIPE, which the program can tell,
// instead of ending it silently by SIGPIPE. Windows has no such signal: nothing to do.
void LetWritesToClosedPipesFail();

}  // namespace platform
