// The stores on SQLite and PostgreSQL.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "flash/records/PgRecords.h"
#include "flash/records/RecordStore.h"
#include "flash/records/SqliteRecords.h"

namespace records {

namespace {

constexpr std::size_t kSendBatch = 64;  // records sent between looks at the stop flag

class SqliteStore : public RecordStore {
public:
    explicit SqliteStore(std::unique_ptr<SqliteRecords> db) : m_db(std::move(db)) {}
    bool Append(const RunRecord& r, std::string& error) override { return m_db->Add(r, false, error); }
    bool Read(const std::string& since, std::vector<StoredRecord>& out, std::string& error) override {
        return m_db->Read(since, out, error);
    }
    std::string Where() const override { return m_db->Path(); }

private:
    std::unique_ptr<SqliteRecords> m_db;
};

// A line's station: every record goes into the station's own file first, in the same
// transaction as its mark "not sent yet", and a sender thread hands the marked ones to
// the server. A server that cannot be reached (or refuses the station) leaves them
// marked: the station keeps flashing and the sender tries again. The server keeps a
// record's identity once, so a record whose "sent" was lost with the connection and is
// sent again is still there once.
class LineStore : public RecordStore {
public:
    LineStore(std::unique_ptr<SqliteRecords> local, const std::string& url, const StoreOptions& options)
        : m_local(std::move(local)), m_url(url), m_server(url), m_options(options), m_sender([this] { SendLoop(); }) {}
    ~LineStore() override {
        {
            std::lock_guard lock(m_mutex);
            m_stop = true;
        }
        m_wake.notify_all();
        m_sender.join();
    }
    bool Append(const RunRecord& r, std::string& error) override {
        if (!m_local->Add(r, true, error)) return false;
        {
            std::lock_guard lock(m_mutex);
            m_pending = true;
        }
        m_wake.notify_all();
        return true;
    }
    bool Read(const std::string& since, std::vector<StoredRecord>& out, std::string& error) override {
        PgRecords reader(m_url);
        return reader.Read(since, out, error);
    }
    StoreState State() const override {
        std::lock_guard lock(m_mutex);
        return m_state;
    }
    bool Flush(int waitMs) override {
        std::unique_lock lock(m_mutex);
        m_pending = true;
        m_wake.notify_all();
        m_idle.wait_for(lock, std::chrono::milliseconds(waitMs), [this] { return !m_pending && m_state.queued == 0; });
        return !m_pending && m_state.queued == 0;
    }
    std::string Where() const override { return m_server.Shown(); }

private:
    void SendLoop();
    bool SendQueued(std::string& error);  // false when the server failed
    void Note(bool queueing, const std::string& problem);

    std::unique_ptr<SqliteRecords> m_local;
    std::string m_url;
    PgRecords m_server;  // the sender thread's
    StoreOptions m_options;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake, m_idle;
    bool m_stop = false;
    bool m_pending = true;  // records left queued by an earlier run are sent at the start
    StoreState m_state;
    std::thread m_sender;
};

void LineStore::SendLoop() {
    for (;;) {
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait_for(lock, std::chrono::milliseconds(m_options.resendMs),
                            [this] { return m_stop || m_pending; });
            if (m_stop) return;
            m_pending = false;
        }
        std::string error;
        const bool sent = SendQueued(error);
        Note(!sent, error);
        m_idle.notify_all();
    }
}

bool LineStore::SendQueued(std::string& error) {
    for (;;) {
        std::vector<QueuedRecord> queued;
        if (!m_local->Queued(kSendBatch, queued, error)) return false;
        if (queued.empty()) return true;
        for (const QueuedRecord& q : queued) {
            if (!m_server.Add(q.stored, error)) return false;
            if (!m_local->Unqueue(q.rowId, error)) return false;
        }
        std::lock_guard lock(m_mutex);
        if (m_stop) return true;
    }
}

void LineStore::Note(bool queueing, const std::string& problem) {
    std::string notice;
    {
        std::lock_guard lock(m_mutex);
        const int64_t queued = m_local->QueuedCount();
        if (queueing && (!m_state.queueing || problem != m_state.problem))
            notice = "records: cannot send to the line's database: " + problem + "; " + std::to_string(queued) +
                     " record(s) queued in " + m_local->Path() + " until it is back";
        else if (!queueing && m_state.queueing)
            notice = "records: the line's database " + m_server.Shown() + " is back: the queued records were sent";
        m_state.queueing = queueing;
        m_state.queued = queued;
        m_state.problem = queueing ? problem : std::string();
    }
    if (!notice.empty() && m_options.onNotice) m_options.onNotice(notice);
}

}  // namespace

std::unique_ptr<RecordStore> OpenDatabaseStore(const std::string& destination, const StoreOptions& options,
                                               std::string& error) {
    const bool line = KindOf(destination) == DestinationKind::kLine;
    if (line && options.localPath.empty()) return error = "a line's station needs a file of its own to queue in", nullptr;
    auto local = SqliteRecords::Open(line ? options.localPath : destination, error);
    if (!local) return nullptr;
    if (!line) return std::make_unique<SqliteStore>(std::move(local));
    return std::make_unique<LineStore>(std::move(local), destination, options);
}

bool ReadDatabase(const std::string& destination, const std::string& since, std::vector<StoredRecord>& out,
                  std::string& error) {
    if (KindOf(destination) == DestinationKind::kLine) return PgRecords(destination).Read(since, out, error);
    const auto file = SqliteRecords::Open(destination, error);
    return file && file->Read(since, out, error);
}

bool DatabaseStoresBuilt() { return true; }

}  // namespace records
