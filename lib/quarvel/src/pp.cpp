// The printers of the data model, one template each.
#include <quarvel/pp.hpp>

#include "pp_forms.hpp"

#include <quarvel_toolkit/state_items.hpp>

#include <quarvel_toolkit/overloaded.hpp>

#include <variant>

namespace quarvel {

namespace {

// Separators of the templates.
void line_end(formatter& f) { f.line_end(); }
void space(formatter& f) { f.space(); }
void semicolon_line_end(formatter& f) {
    f.text(";");
    f.line_end();
}
void semicolon_space(formatter& f) {
    f.text(";");
    f.space();
}
void comma_cut(formatter& f) {
    f.text(",");
    f.cut();
}
void colon_space(formatter& f) {
    f.text(":");
    f.space();
}

void pp_text(formatter& f, const std::string& s) { f.text(s); }

void pp_queue_entry(formatter& f, const queue_entry& q) {
    pp_pair(f, q.platform, q.jobs, colon_space, pp_text,
            [](formatter& f, const std::vector<job>& jobs) { pp_list(f, jobs, semicolon_space, pp_job); });
}

}  // namespace

void pp_data(formatter& f, const data& d) {
    pp_list(f, d, line_end, [](formatter& f, const output_file& entry) {
        f.text(entry.path);
        f.text(": ");
        pp_integer(f, static_cast<std::int64_t>(entry.data.size()));
    });
}

void pp_script_job(formatter& f, const script_job& j) {
    f.text("name ");
    f.text(j.name);
    f.text(" on ");
    f.text(j.platform);
}

void pp_vesk_build_job(formatter& f, const vesk_build_job& j) {
    f.text("name ");
    f.text(j.name);
    f.text(", opam ");
    f.text(j.opam_package);
}

void pp_execution_result(formatter& f, const execution_result& r) {
    std::visit(overloaded{
                   [&](const Exited& e) {
                       f.text("exited ");
                       pp_integer(f, e.code);
                   },
                   [&](const Signalled& s) {
                       f.text("signalled ");
                       pp_integer(f, s.signal);
                   },
                   [&](const Stopped& s) {
                       f.text("stopped ");
                       pp_integer(f, s.signal);
                   },
                   [&](const Msg& m) {
                       f.text("execution aborted: ");
                       f.text(m.text);
                   },
               },
               r);
}

void pp_period(formatter& f, period p) {
    switch (p) {
    case period::Hourly: f.text("hourly"); return;
    case period::Daily: f.text("daily"); return;
    case period::Weekly: f.text("weekly"); return;
    case period::Never: f.text("never"); return;
    }
}

void pp_job(formatter& f, const job& j) {
    std::visit(overloaded{
                   [&](const script_job& s) { pp_script_job(f, s); },
                   [&](const vesk_build_job& v) { pp_vesk_build_job(f, v); },
               },
               j);
}

void pp_schedule_item(formatter& f, const schedule_item& item) {
    pp_job(f, item.job);
    f.text(" next ");
    pp_timestamp(f, item.next);
    f.text(", scheduled ");
    pp_period(f, item.period);
}

void pp_info(formatter& f, const info& i) {
    f.text("dropped platforms: ");
    pp_list(f, i.dropped_platforms, space, pp_text);
    f.line_end();
    f.text("schedule:");
    f.line_end();
    pp_list(f, i.schedule, semicolon_line_end, pp_schedule_item);
    f.line_end();
    f.text("queues:");
    f.line_end();
    pp_list(f, i.queues, line_end, pp_queue_entry);
    f.line_end();
    f.text("running:");
    f.line_end();
    pp_list(f, i.running, semicolon_line_end, triple(comma_cut, pp_script_job, pp_uuid, pp_timestamp));
    f.line_end();
}

void pp_cmd(formatter& f, const cmd& c) {
    // "[%a]" with the uuid form.
    const auto bracketed_uuid = [&](const uuid& u) {
        f.text("[");
        pp_uuid(f, u);
        f.text("]");
    };
    std::visit(
        overloaded{
            [&](const cmd::Job_request& r) {
                f.text("job request on ");
                f.text(r.platform);
            },
            [&](const cmd::Job_schedule& s) {
                bracketed_uuid(s.uuid);
                f.text(" job schedule ");
                pp_script_job(f, s.job);
            },
            [&](const cmd::Job_finished& d) {
                bracketed_uuid(d.uuid);
                f.text(" job finished with ");
                pp_execution_result(f, d.result);
                f.text(": ");
                pp_data(f, d.data);
            },
            [&](const cmd::Output& o) {
                bracketed_uuid(o.uuid);
                f.text(" ");
                pp_quoted(f, o.output);
            },
            [&](const cmd::Output_timestamped& o) {
                bracketed_uuid(o.uuid);
                f.text(" ");
                pp_duration(f, o.timestamp);
                f.text(": ");
                pp_quoted(f, o.output);
            },
            [&](const cmd::Schedule& s) {
                f.text("schedule at ");
                pp_period(f, s.period);
                f.text(": ");
                pp_script_job(f, s.job);
            },
            [&](const cmd::Unschedule& u) {
                f.text("unschedule ");
                f.text(u.name);
            },
            [&](const cmd::Info&) { f.text("info"); },
            [&](const cmd::Info_reply& r) {
                f.text("info:");
                f.line_end();
                pp_info(f, r.info);
            },
            [&](const cmd::Observe& o) {
                f.text("observe ");
                pp_uuid(f, o.uuid);
            },
            [&](const cmd::Execute& e) {
                f.text("execute ");
                f.text(e.job_name);
                f.text(" on ");
                pp_optional(f, e.platform, pp_text, "any platform");
            },
            [&](const cmd::Schedule_vesk_build& s) {
                f.text("schedule vesk build at ");
                pp_period(f, s.period);
                f.text(": ");
                pp_vesk_build_job(f, s.vesk_build_job);
            },
            [&](const cmd::Reschedule& r) {
                // The template depends on whether a period is present, not on its value.
                f.text("reschedule ");
                f.text(r.name);
                if (r.period) {
                    f.text(" at ");
                    pp_period(f, *r.period);
                }
                f.text(": ");
                pp_timestamp(f, r.next);
            },
            [&](const cmd::Drop_platform& d) {
                f.text("drop platform ");
                f.text(d.platform);
            },
            [&](const cmd::Undrop_platform& u) {
                f.text("undrop platform ");
                f.text(u.platform);
            },
            [&](const cmd::Client_hello& h) {
                f.text("client hello ");
                f.text(h.typ == client_or_worker::Client ? "client" : "worker");
                f.text(" ");
                pp_integer(f, h.version);
            },
            [&](const cmd::Server_hello&) { f.text("server hello"); },
            [&](const cmd::Success&) { f.text("success"); },
            [&](const cmd::Failure& e) {
                f.text("failure ");
                f.text(e.message);
            },
        },
        c.value);
}

void pp_state_item(formatter& f, const state_item& item) {
    std::visit(overloaded{
                   [&](const state_item::Queue& q) {
                       f.text("queue platform ");
                       f.text(q.platform);
                       f.text(" jobs ");
                       pp_list(f, q.jobs, [](formatter& f) { f.text(", "); }, pp_job);
                   },
                   [&](const state_item::Schedule& s) {
                       f.text("schedule ");
                       pp_schedule_item(f, s.item);
                   },
                   [&](const state_item::Dropped_platform& d) {
                       f.text("dropped platform ");
                       f.text(d.platform);
                   },
               },
               item.value);
}

void asn::pp_state_separator(formatter& f) { semicolon_space(f); }

void pp_state(formatter& f, const state& s) { pp_list(f, s, asn::pp_state_separator, pp_state_item); }

}  // namespace quarvel
