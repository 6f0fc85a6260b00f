#include <der/consumption.hpp>

namespace quarvel::der {

consumption_watch::consumption_watch(std::string_view input, std::size_t step, std::function<void(std::size_t)> consumed)
    : begin(reinterpret_cast<std::uintptr_t>(input.data())),
      end(begin + input.size()),
      step(step == 0 ? 1 : step),
      consumed(std::move(consumed)) {
    // An empty `consumed` watches nothing.
    next_report = this->consumed ? begin + this->step : UINTPTR_MAX;
}

void report_item_done(consumption_watch& watch, const char* item_end) { watch.item_done(item_end); }

}  // namespace quarvel::der
