#include "tools/ToolOutput.h"

#include <cerrno>
#include <cstring>

std::string PrintableText(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (const char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        if (u == '\r') continue;
        if (u == '\n' || (u >= 0x20 && u < 0x7F)) {
            out += c;
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", u);
            out += hex;
        }
    }
    return out;
}

bool OutputFailure::Check(std::FILE* stream) {
    const int error = errno;  // the failed write's, before anything else can change it
    if (!std::ferror(stream)) return true;
    std::lock_guard lock(m_mutex);
    if (m_text.empty())
        m_text = std::string("cannot write standard output: ") + (error ? std::strerror(error) : "write error");
    return false;
}

bool OutputFailure::Flush(std::FILE* stream) {
    errno = 0;
    std::fflush(stream);
    return Check(stream);
}

std::string OutputFailure::Text() const {
    std::lock_guard lock(m_mutex);
    return m_text;
}
