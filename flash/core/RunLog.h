// What happened on the line during one run, step by step with the time since the run's
// start: the quality engineer's answer to "where did this module stop, and how long did
// each stage take". The procedure writes through IRunLog, so a GUI can keep the same log.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>

#include "platform/system/System.h"

class IRunLog {
public:
    virtual ~IRunLog() = default;
    // One step ("loader ready"); the log stamps it with its time.
    virtual void Step(const std::string& text) = 0;
};

// A log in a text file, one line a step: "   1234 ms  loader ready". Each line goes out
// in one write as it happens, so a crash keeps every step before it.
class RunLogFile : public IRunLog {
public:
    // Makes the file at `path` (its folder too); Error() says why when it cannot.
    explicit RunLogFile(const std::string& path);
    void Step(const std::string& text) override;
    const std::string& Path() const { return m_path; }
    const std::string& Error() const { return m_error; }

private:
    std::string m_path;
    std::string m_error;
    platform::File m_file;
    int64_t m_startMs;
};

// Where a run's log goes: the folder `<records file>.runs/` beside the records, one file
// a run named by its UTC start, slot and port ("20261208T204501Z-slot1-ttyUSB0.log");
// empty when the records go to something other than a file (no log is kept then).
std::string RunLogPath(const std::string& recordsPath, std::time_t start, int slot, const std::string& port);
