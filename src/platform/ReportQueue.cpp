#include "platform/ReportQueue.h"

#include "platform/InetTransfer.h"

#include <windows.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace sorvane {

namespace {

// Allocated once and never freed: a sender still inside a request when the
// process ends must not find its state destroyed under it.
struct Sender {
    std::mutex mutex;
    std::condition_variable wake;
    std::condition_variable idle;
    std::deque<std::wstring> queue;
    bool busy = false;
    bool started = false;
    bool stopping = false;
    size_t dropped = 0;
    // Bounds each request itself: some HTTP stacks ignore receive time-outs,
    // and a server that accepts and never answers must not stop the sender.
    InetTransfer transfer;

    void run()
    {
        for (;;) {
            std::wstring url;
            {
                std::unique_lock<std::mutex> lock(mutex);
                wake.wait(lock, [&] { return !queue.empty() || stopping; });
                if (queue.empty())
                    return;
                url = std::move(queue.front());
                queue.pop_front();
                busy = true;
            }
            try {
                (void)transfer.openUrl(url);
            } catch (...) {
            }
            {
                std::lock_guard<std::mutex> lock(mutex);
                busy = false;
            }
            idle.notify_all();
        }
    }
};

Sender& sender()
{
    static Sender* s = new Sender;
    return *s;
}

} // namespace

bool postReport(std::wstring url)
{
    Sender& s = sender();
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        if (s.stopping)
            return false;
        if (s.queue.size() >= kReportQueueCapacity) {
            ++s.dropped;
            return false;
        }
        if (!s.started) {
            try {
                std::thread([&s] { s.run(); }).detach();
            } catch (...) {
                ++s.dropped;
                return false;
            }
            s.started = true;
        }
        s.queue.push_back(std::move(url));
    }
    s.wake.notify_one();
    return true;
}

size_t droppedReports()
{
    Sender& s = sender();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.dropped;
}

bool waitForReports(unsigned long ms)
{
    Sender& s = sender();
    std::unique_lock<std::mutex> lock(s.mutex);
    return s.idle.wait_for(lock, std::chrono::milliseconds(ms), [&] { return s.queue.empty() && !s.busy; });
}

void shutdownReports(unsigned long ms)
{
    const bool done = waitForReports(ms);
    Sender& s = sender();
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        s.stopping = true;
        if (!done)
            s.queue.clear();
    }
    s.wake.notify_all();
}

} // namespace sorvane
