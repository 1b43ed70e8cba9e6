#include <qel/database/OpenFaults.h>

#if defined(QEL_FAULT_INJECTION)

#include <array>
#include <atomic>

namespace qel::database {

namespace {

constexpr size_t kFaultCount = static_cast<size_t>(OpenFault::Notification) + 1;
std::array<std::atomic<int>, kFaultCount> g_remaining{};

}  // namespace

void InjectOpenFault(OpenFault fault, int times) { g_remaining[static_cast<size_t>(fault)] = times; }

void ClearOpenFaults() {
    for (auto& remaining : g_remaining) remaining = 0;
}

bool OpenFaultHit(OpenFault fault) {
    auto& remaining = g_remaining[static_cast<size_t>(fault)];
    int left = remaining.load();
    while (left > 0)
        if (remaining.compare_exchange_weak(left, left - 1)) return true;
    return false;
}

}  // namespace qel::database

#endif  // QEL_FAULT_INJECTION
