#pragma once
// The grammars of the persisted scheduler state: the members in state_syntax.cpp (`period_syntax`,
// `schedule_syntax` and `queue_syntax` are members of commands too), the items and the state in
// asn_state.cpp.

#include <optional>

#include <der/grammar.hpp>
#include <quarvel/model.hpp>

#include "grammars/forms.hpp"

namespace quarvel::asn {

der::rule<period> period_syntax();
// The current form of a schedule item.
der::rule<schedule_item> schedule_syntax();
// The legacy form of a schedule item: UTCTime only, and a bare script job. Read, never written.
der::rule<schedule_item, legacy> legacy_schedule_syntax();
// The jobs waiting for one platform, as the scheduler overview lists them, and as a state item [4].
der::rule<queue_entry> queue_syntax();
der::rule<state_item::Queue> state_queue_syntax();
// A state item as read (legacy items no longer kept yield nothing), written from a state item.
der::rule<std::optional<state_item>, state_item> state_item_syntax();
// The persisted state: the items that were read as something, in input order.
der::rule<state> state_syntax();

}  // namespace quarvel::asn
