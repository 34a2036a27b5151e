#pragma once
// Error reports leave the program through one background sender, so the
// window never waits on the network: a firewall that drops packets cannot
// freeze a run that reports once per locked file. The queue is bounded;
// reports beyond it are dropped and counted.
#include <cstddef>
#include <string>

namespace sorvane {

constexpr size_t kReportQueueCapacity = 32;

// Hands one request URL to the sender; false when the queue was full and the
// report was dropped. Never blocks.
bool postReport(std::wstring url);
// Reports dropped since start because the queue was full.
size_t droppedReports();
// Waits until every queued report has been tried, at most `ms`; true when
// the queue is idle.
bool waitForReports(unsigned long ms);
// At exit: lets the sender finish for at most `ms`, then gives up on the rest.
void shutdownReports(unsigned long ms);

} // namespace sorvane
