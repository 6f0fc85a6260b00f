#include "printed_texts.hpp"

#include <variant>

#include <quarvel_toolkit/overloaded.hpp>

#include "text/terminal_text.hpp"

namespace dump {

namespace {

using quarvel::overloaded;
using text::make_terminal_text;

void escape(quarvel::script_job& j) {
    make_terminal_text(j.name);
    make_terminal_text(j.platform);
}

void escape(quarvel::vesk_build_job& j) {
    make_terminal_text(j.name);
    make_terminal_text(j.opam_package);
}

void escape(quarvel::job& j) {
    std::visit([](auto& payload) { escape(payload); }, j);
}

void escape(std::vector<quarvel::job>& jobs) {
    for (auto& j : jobs) escape(j);
}

void escape(quarvel::execution_result& r) {
    if (auto* aborted = std::get_if<quarvel::Msg>(&r)) make_terminal_text(aborted->text);
}

void escape(quarvel::info& i) {
    for (auto& item : i.schedule) escape(item.job);
    for (auto& q : i.queues) {
        make_terminal_text(q.platform);
        escape(q.jobs);
    }
    for (auto& r : i.running) escape(r.job);
    for (auto& p : i.dropped_platforms) make_terminal_text(p);
}

}  // namespace

void escape_printed_texts(quarvel::state_item& item) {
    std::visit(overloaded{[](quarvel::state_item::Queue& q) {
                              make_terminal_text(q.platform);
                              escape(q.jobs);
                          },
                          [](quarvel::state_item::Schedule& s) { escape(s.item.job); },
                          [](quarvel::state_item::Dropped_platform& d) { make_terminal_text(d.platform); }},
               item.value);
}

void escape_printed_texts(quarvel::state& state) {
    for (auto& item : state) escape_printed_texts(item);
}

void escape_printed_texts(quarvel::cmd& command) {
    using C = quarvel::cmd;
    std::visit(overloaded{[](C::Job_request& c) { make_terminal_text(c.platform); },
                          [](C::Job_schedule& c) { escape(c.job); },
                          [](C::Job_finished& c) {
                              escape(c.result);
                              for (auto& file : c.data) make_terminal_text(file.path);
                          },
                          [](C::Schedule& c) { escape(c.job); },
                          [](C::Unschedule& c) { make_terminal_text(c.name); },
                          [](C::Info_reply& c) { escape(c.info); },
                          [](C::Execute& c) {
                              make_terminal_text(c.job_name);
                              if (c.platform) make_terminal_text(*c.platform);
                          },
                          [](C::Schedule_vesk_build& c) { escape(c.vesk_build_job); },
                          [](C::Reschedule& c) { make_terminal_text(c.name); },
                          [](C::Drop_platform& c) { make_terminal_text(c.platform); },
                          [](C::Undrop_platform& c) { make_terminal_text(c.platform); },
                          [](C::Failure& c) { make_terminal_text(c.message); },
                          // Quoted by their form already, or no text at all.
                          [](C::Output&) {}, [](C::Output_timestamped&) {}, [](C::Info&) {}, [](C::Observe&) {},
                          [](C::Client_hello&) {}, [](C::Server_hello&) {}, [](C::Success&) {}},
               command.value);
}

}  // namespace dump
