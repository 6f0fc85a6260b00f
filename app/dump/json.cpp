#include "json.hpp"

#include <array>
#include <cstdint>
#include <variant>

#include <quarvel/pp.hpp>

namespace dump {

namespace {

template <class... F>
struct overloaded : F... {
    using F::operator()...;
};

constexpr char hex_digits[] = "0123456789abcdef";

void append_escaped_string(std::string& out, std::string_view s) {
    out += '"';
    for (const char c : s) {
        const auto byte = static_cast<unsigned char>(c);
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\t': out += "\\t"; break;
            case '\r': out += "\\r"; break;
            case '\b': out += "\\b"; break;
            case '\f': out += "\\f"; break;
            default:
                if (byte < 0x20) {
                    out += "\\u00";
                    out += hex_digits[byte >> 4];
                    out += hex_digits[byte & 0xf];
                } else {
                    out += c;
                }
        }
    }
    out += '"';
}

void append_base64(std::string& out, std::string_view bytes) {
    constexpr char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3) {
        const std::uint32_t v = static_cast<unsigned char>(bytes[i]) << 16 |
                                static_cast<unsigned char>(bytes[i + 1]) << 8 | static_cast<unsigned char>(bytes[i + 2]);
        for (int shift : {18, 12, 6, 0}) out += alphabet[v >> shift & 0x3f];
    }
    const std::size_t rest = bytes.size() - i;
    if (rest == 0) return;
    std::uint32_t v = static_cast<unsigned char>(bytes[i]) << 16;
    if (rest == 2) v |= static_cast<unsigned char>(bytes[i + 1]) << 8;
    out += alphabet[v >> 18 & 0x3f];
    out += alphabet[v >> 12 & 0x3f];
    out += rest == 2 ? alphabet[v >> 6 & 0x3f] : '=';
    out += '=';
}

// Writes one object member at a time, with the commas between them.
struct object_writer {
    std::string& out;
    bool first = true;

    explicit object_writer(std::string& o) : out(o) { out += '{'; }
    void close() { out += '}'; }

    std::string& key(std::string_view name) {
        if (!first) out += ',';
        first = false;
        append_escaped_string(out, name);
        out += ':';
        return out;
    }
    void text(std::string_view name, std::string_view value) { append_json_text(key(name), value); }
    void keyword(std::string_view name, std::string_view value) { append_escaped_string(key(name), value); }
    void number(std::string_view name, std::int64_t value) { key(name) += std::to_string(value); }
    void unsigned_number(std::string_view name, std::uint64_t value) { key(name) += std::to_string(value); }
    void null(std::string_view name) { key(name) += "null"; }
};

template <class Range, class Element>
void append_array(std::string& out, const Range& items, Element&& element) {
    out += '[';
    bool first = true;
    for (const auto& item : items) {
        if (!first) out += ',';
        first = false;
        element(out, item);
    }
    out += ']';
}

std::string_view period_name(quarvel::period p) {
    switch (p) {
        case quarvel::period::Hourly: return "hourly";
        case quarvel::period::Daily: return "daily";
        case quarvel::period::Weekly: return "weekly";
        case quarvel::period::Never: return "never";
    }
    return "never";
}

void append_timestamp(std::string& out, quarvel::timestamp t) { append_escaped_string(out, quarvel::timestamp_text(t)); }
void append_uuid(std::string& out, const quarvel::uuid& u) { append_escaped_string(out, quarvel::uuid_text(u)); }

void append_script_job(std::string& out, const quarvel::script_job& j) {
    object_writer o(out);
    o.keyword("type", "script_job");
    o.text("name", j.name);
    o.text("platform", j.platform);
    o.text("script", j.script);
    o.close();
}

void append_vesk_build_job(std::string& out, const quarvel::vesk_build_job& j) {
    object_writer o(out);
    o.keyword("type", "vesk_build_job");
    o.text("name", j.name);
    o.text("opam_package", j.opam_package);
    o.close();
}

void append_job(std::string& out, const quarvel::job& j) {
    std::visit(overloaded{[&](const quarvel::script_job& s) { append_script_job(out, s); },
                          [&](const quarvel::vesk_build_job& v) { append_vesk_build_job(out, v); }},
               j);
}

void append_jobs(std::string& out, const std::vector<quarvel::job>& jobs) {
    append_array(out, jobs, [](std::string& o, const quarvel::job& j) { append_job(o, j); });
}

void append_result(std::string& out, const quarvel::execution_result& r) {
    object_writer o(out);
    std::visit(overloaded{[&](const quarvel::Exited& e) {
                              o.keyword("type", "exited");
                              o.number("code", e.code);
                          },
                          [&](const quarvel::Signalled& s) {
                              o.keyword("type", "signalled");
                              o.number("signal", s.signal);
                          },
                          [&](const quarvel::Stopped& s) {
                              o.keyword("type", "stopped");
                              o.number("signal", s.signal);
                          },
                          [&](const quarvel::Msg& m) {
                              o.keyword("type", "msg");
                              o.text("text", m.text);
                          }},
               r);
    o.close();
}

void append_data(std::string& out, const quarvel::data& files, const json_options& options) {
    append_array(out, files, [&](std::string& s, const quarvel::output_file& f) {
        object_writer o(s);
        o.text("path", f.path);
        o.unsigned_number("size", f.data.size());
        if (options.contents) o.text("data", f.data);
        o.close();
    });
}

void append_schedule_fields(object_writer& o, const quarvel::schedule_item& item) {
    append_timestamp(o.key("next"), item.next);
    o.keyword("period", period_name(item.period));
    append_job(o.key("job"), item.job);
}

void append_info(std::string& out, const quarvel::info& i) {
    object_writer o(out);
    append_array(o.key("schedule"), i.schedule, [](std::string& s, const quarvel::schedule_item& item) {
        object_writer w(s);
        append_schedule_fields(w, item);
        w.close();
    });
    append_array(o.key("queues"), i.queues, [](std::string& s, const quarvel::queue_entry& q) {
        object_writer w(s);
        w.text("platform", q.platform);
        append_jobs(w.key("jobs"), q.jobs);
        w.close();
    });
    append_array(o.key("running"), i.running, [](std::string& s, const quarvel::running_entry& r) {
        object_writer w(s);
        append_timestamp(w.key("started"), r.started);
        append_uuid(w.key("uuid"), r.uuid);
        append_script_job(w.key("job"), r.job);
        w.close();
    });
    append_array(o.key("dropped_platforms"), i.dropped_platforms,
                 [](std::string& s, const std::string& p) { append_json_text(s, p); });
    o.close();
}

}  // namespace

bool valid_utf8(std::string_view bytes) {
    std::size_t i = 0;
    while (i < bytes.size()) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        if (b < 0x80) {
            ++i;
            continue;
        }
        std::size_t length;
        std::uint32_t code;
        if (b >= 0xc2 && b <= 0xdf) length = 2, code = b & 0x1f;
        else if (b >= 0xe0 && b <= 0xef) length = 3, code = b & 0x0f;
        else if (b >= 0xf0 && b <= 0xf4) length = 4, code = b & 0x07;
        else return false;
        if (bytes.size() - i < length) return false;
        for (std::size_t k = 1; k < length; ++k) {
            const auto c = static_cast<unsigned char>(bytes[i + k]);
            if ((c & 0xc0) != 0x80) return false;
            code = code << 6 | (c & 0x3f);
        }
        if ((length == 3 && code < 0x800) || (length == 4 && code < 0x10000) || code > 0x10ffff ||
            (code >= 0xd800 && code <= 0xdfff))
            return false;
        i += length;
    }
    return true;
}

void append_json_text(std::string& out, std::string_view bytes) {
    if (valid_utf8(bytes)) {
        append_escaped_string(out, bytes);
        return;
    }
    out += "{\"base64\":\"";
    append_base64(out, bytes);
    out += "\"}";
}

std::string json_of_exec(const quarvel::execution_record& r, const json_options& options) {
    std::string out;
    object_writer o(out);
    append_script_job(o.key("job"), r.job);
    append_uuid(o.key("uuid"), r.uuid);
    append_array(o.key("console"), r.console, [](std::string& s, const quarvel::console_line& l) {
        object_writer w(s);
        w.number("delta", l.delta);
        w.text("data", l.data);
        w.close();
    });
    append_timestamp(o.key("started"), r.started);
    append_timestamp(o.key("finished"), r.finished);
    append_result(o.key("result"), r.result);
    append_data(o.key("output"), r.output, options);
    o.close();
    return out;
}

std::string json_of_state(const quarvel::state& state, const json_options&) {
    std::string out;
    append_array(out, state, [](std::string& s, const quarvel::state_item& item) {
        object_writer o(s);
        std::visit(overloaded{[&](const quarvel::state_item::Queue& q) {
                                  o.keyword("type", "queue");
                                  o.text("platform", q.platform);
                                  append_jobs(o.key("jobs"), q.jobs);
                              },
                              [&](const quarvel::state_item::Schedule& sc) {
                                  o.keyword("type", "schedule");
                                  append_schedule_fields(o, sc.item);
                              },
                              [&](const quarvel::state_item::Dropped_platform& d) {
                                  o.keyword("type", "dropped_platform");
                                  o.text("platform", d.platform);
                              }},
                   item.value);
        o.close();
    });
    return out;
}

std::string json_of_cmd(const quarvel::cmd& command, const json_options& options) {
    using C = quarvel::cmd;
    std::string out;
    object_writer o(out);
    std::visit(
        overloaded{
            [&](const C::Job_request& c) {
                o.keyword("type", "job_request");
                o.text("platform", c.platform);
            },
            [&](const C::Job_schedule& c) {
                o.keyword("type", "job_schedule");
                append_uuid(o.key("uuid"), c.uuid);
                append_script_job(o.key("job"), c.job);
            },
            [&](const C::Job_finished& c) {
                o.keyword("type", "job_finished");
                append_uuid(o.key("uuid"), c.uuid);
                append_result(o.key("result"), c.result);
                append_data(o.key("data"), c.data, options);
            },
            [&](const C::Output& c) {
                o.keyword("type", "output");
                append_uuid(o.key("uuid"), c.uuid);
                o.text("output", c.output);
            },
            [&](const C::Output_timestamped& c) {
                o.keyword("type", "output_timestamped");
                append_uuid(o.key("uuid"), c.uuid);
                o.unsigned_number("timestamp", c.timestamp.nanoseconds);
                o.text("output", c.output);
            },
            [&](const C::Schedule& c) {
                o.keyword("type", "schedule");
                o.keyword("period", period_name(c.period));
                append_script_job(o.key("job"), c.job);
            },
            [&](const C::Unschedule& c) {
                o.keyword("type", "unschedule");
                o.text("name", c.name);
            },
            [&](const C::Info&) { o.keyword("type", "info"); },
            [&](const C::Info_reply& c) {
                o.keyword("type", "info_reply");
                append_info(o.key("info"), c.info);
            },
            [&](const C::Observe& c) {
                o.keyword("type", "observe");
                append_uuid(o.key("uuid"), c.uuid);
            },
            [&](const C::Execute& c) {
                o.keyword("type", "execute");
                o.text("job_name", c.job_name);
                if (c.platform) o.text("platform", *c.platform);
                else o.null("platform");
            },
            [&](const C::Schedule_vesk_build& c) {
                o.keyword("type", "schedule_vesk_build");
                o.keyword("period", period_name(c.period));
                append_vesk_build_job(o.key("vesk_build_job"), c.vesk_build_job);
            },
            [&](const C::Reschedule& c) {
                o.keyword("type", "reschedule");
                o.text("name", c.name);
                append_timestamp(o.key("next"), c.next);
                if (c.period) o.keyword("period", period_name(*c.period));
                else o.null("period");
            },
            [&](const C::Drop_platform& c) {
                o.keyword("type", "drop_platform");
                o.text("platform", c.platform);
            },
            [&](const C::Undrop_platform& c) {
                o.keyword("type", "undrop_platform");
                o.text("platform", c.platform);
            },
            [&](const C::Client_hello& c) {
                o.keyword("type", "client_hello");
                o.keyword("typ", c.typ == quarvel::client_or_worker::Client ? "client" : "worker");
                o.number("version", c.version);
            },
            [&](const C::Server_hello&) { o.keyword("type", "server_hello"); },
            [&](const C::Success&) { o.keyword("type", "success"); },
            [&](const C::Failure& c) {
                o.keyword("type", "failure");
                o.text("message", c.message);
            },
        },
        command.value);
    o.close();
    return out;
}

}  // namespace dump
