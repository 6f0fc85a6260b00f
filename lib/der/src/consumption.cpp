#include <der/consumption.hpp>

namespace der {

namespace {
thread_local consumption_watch* active_watch = nullptr;
}  // namespace

consumption_watch* current_watch() { return active_watch; }

void report_item_done(consumption_watch& watch, const char* item_end) { watch.item_done(item_end); }

watch_consumption::watch_consumption(std::string_view input, std::size_t step, std::function<void(std::size_t)> consumed)
    : outer_(active_watch) {
    watch_.begin = reinterpret_cast<std::uintptr_t>(input.data());
    watch_.end = watch_.begin + input.size();
    watch_.step = step == 0 ? 1 : step;
    watch_.next_report = watch_.begin + watch_.step;
    watch_.consumed = std::move(consumed);
    if (watch_.consumed) active_watch = &watch_;
}

watch_consumption::~watch_consumption() { active_watch = outer_; }

}  // namespace der
