#include "flash/frontend/BurnWorker.h"

BurnWorker::BurnWorker(std::function<void()> run) : m_run(std::move(run)) {
    m_thread = std::thread([this] {
        for (;;) {
            m_wake.acquire();
            if (m_exit.load()) return;
            m_run();
        }
    });
}

BurnWorker::~BurnWorker() {
    m_exit.store(true);
    m_wake.release();
    m_thread.join();
}
