#include <quarvel/log.hpp>

#include <quarvel_toolkit/sole_delivery.hpp>

#include <atomic>
#include <exception>
#include <memory>
#include <mutex>
#include <utility>

namespace quarvel::log {

const source library{"quarvel", "Quarvel"};

namespace {

// The process-wide log settings. The level and whether a reporter is installed are read on every message
// without a lock; the reporter itself is shared, so replacing it while a message is being delivered
// leaves that delivery its own reference.
constexpr int quiet = -1;

struct settings {
    std::atomic<int> lvl{static_cast<int>(level::warning)};
    std::atomic<bool> has_reporter{false};
    std::mutex reporter_mutex;  // guards `report`
    std::shared_ptr<const reporter> report;
    std::mutex delivery;        // one message at a time reaches the reporter
};

settings& current() {
    // Never destroyed: threads and static destructors may still log while the process ends.
    static settings* const s = new settings;
    return *s;
}

// Set while this thread delivers a message: whatever the reporter logs itself is dropped instead of
// waiting for the delivery that is in progress.
thread_local bool delivering = false;

// Set while this thread holds the delivery for a run of its own (sole_delivery): its messages go through
// without taking the lock it holds.
thread_local bool holds_delivery = false;

std::shared_ptr<const reporter> installed_reporter() {
    settings& s = current();
    const std::lock_guard lock(s.reporter_mutex);
    return s.report;
}

}  // namespace

void set_level(std::optional<level> lvl) {
    current().lvl.store(lvl ? static_cast<int>(*lvl) : quiet, std::memory_order_relaxed);
}

std::optional<level> current_level() {
    const int lvl = current().lvl.load(std::memory_order_relaxed);
    if (lvl == quiet) return std::nullopt;
    return static_cast<level>(lvl);
}

void set_reporter(reporter r) {
    settings& s = current();
    auto installed = r ? std::make_shared<const reporter>(std::move(r)) : nullptr;
    const std::lock_guard lock(s.reporter_mutex);
    s.has_reporter.store(installed != nullptr, std::memory_order_relaxed);
    s.report = std::move(installed);
}

bool enabled(level lvl) {
    const settings& s = current();
    const int current_lvl = s.lvl.load(std::memory_order_relaxed);
    return s.has_reporter.load(std::memory_order_relaxed) && current_lvl != quiet &&
           static_cast<int>(lvl) <= current_lvl;
}

void message(const source& from, level lvl, std::string_view text, std::string_view header) {
    if (delivering) return;
    // Logging is never the caller's failure: whatever the reporter throws ends here, and the message is
    // lost. The lock and the guard are released on the way out, so the next message is delivered as usual.
    try {
        if (!enabled(lvl)) return;
        settings& s = current();
        std::unique_lock<std::mutex> lock(s.delivery, std::defer_lock);
        if (!holds_delivery) lock.lock();
        const auto report = installed_reporter();
        if (!report) return;
        delivering = true;
        struct reset {
            ~reset() { delivering = false; }
        } done;
        (*report)(from, lvl, header, text);
    } catch (...) {
        // A thread cancelled inside the reporter unwinds with a foreign exception, the one kind that has
        // no exception_ptr: it must go on, as ending it here would abort the process.
        if (!std::current_exception()) throw;
    }
}

sole_delivery::sole_delivery() : nested_(holds_delivery) {
    if (nested_) return;
    current().delivery.lock();
    holds_delivery = true;
}

sole_delivery::~sole_delivery() {
    if (nested_) return;
    holds_delivery = false;
    current().delivery.unlock();
}

}  // namespace quarvel::log
