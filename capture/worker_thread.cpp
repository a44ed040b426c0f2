#include "capture/worker_thread.h"

#include <pthread.h>
#include <system_error>

CWorkerThread::~CWorkerThread()
{
    stopAndWait();
}

bool CWorkerThread::start(const std::string& threadName)
{
    if (thread.joinable())
        terminate();
    running.store(true, std::memory_order_release);
    try {
        thread = std::thread([this] { run(); });
    } catch (const std::system_error&) {
        running.store(false, std::memory_order_release);
        return false;
    }
    // Linux limits thread names to 15 characters.
    pthread_setname_np(thread.native_handle(), threadName.substr(0, 15).c_str());
    return true;
}

void CWorkerThread::terminate()
{
    stopAndWait();
}

void CWorkerThread::stopAndWait()
{
    running.store(false, std::memory_order_release);
    if (!thread.joinable())
        return;
    wake();
    if (thread.get_id() == std::this_thread::get_id()) {
        thread.detach(); // a worker ending itself cannot join itself
        return;
    }
    thread.join();
}
