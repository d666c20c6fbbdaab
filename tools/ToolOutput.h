// Standard output as the command-line tools write it: bytes from the line made safe for
// a terminal, and a failed write (a full disk, a reader that has gone) kept as an error
// of the tool, to be told once on standard error and to end the run with status 1.
#pragma once

#include <cstdio>
#include <mutex>
#include <string>
#include <string_view>

// Text as it is; other bytes as \xHH so a binary packet or a stray escape from the line
// cannot upset the terminal. CR is left out, LF kept: "$GPTXT\r\n\x1B" -> "$GPTXT\n\x1B".
std::string PrintableText(std::string_view bytes);

class OutputFailure {
public:
    // Right after a write to `stream`: false, with the first failure kept, when the
    // stream has failed. Safe from any thread.
    bool Check(std::FILE* stream);
    // Flushes `stream`, then checks it.
    bool Flush(std::FILE* stream);
    // "cannot write standard output: Broken pipe"; empty while nothing failed.
    std::string Text() const;

private:
    mutable std::mutex m_mutex;
    std::string m_text;
};
