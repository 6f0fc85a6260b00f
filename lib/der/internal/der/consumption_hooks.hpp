#pragma once
/// \file
/// What a decode needs of a consumption watch (see <der/consumption.hpp>), without the watch itself: the
/// grammar layer reports through this, so that it does not carry the watch's callback type.

#include <der/short_name.hpp>

namespace quarvel::der {

struct consumption_watch;

/// Reports to `watch` that the list item ending at `item_end` is decoded.
void report_item_done(consumption_watch& watch, const char* item_end);

}  // namespace quarvel::der
