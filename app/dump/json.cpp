#include "json.hpp"

#include <array>
#include <charconv>
#include <cstdint>
#include <variant>

#include <der/time_text.hpp>
#include <quarvel/pp.hpp>
#include <quarvel_toolkit/overloaded.hpp>

#include "text/terminal_text.hpp"
#include "text/utf8.hpp"

namespace dump {

namespace {

using quarvel::overloaded;

constexpr char hex_digits[] = "0123456789abcdef";

// Printable ASCII but the quote and the backslash goes out in runs between the escapes. The string is
// valid UTF-8 (any other text is base64): what a terminal would act on (DEL, a C1 or bidirectional
// control, U+2028, U+2029), which JSON allows raw, is written as \uXXXX too, so that a line of JSON shown
// on a terminal cannot steer it, and is read back as the same characters.
void write_escaped_string(output::buffer& out, std::string_view s) {
    out.put('"');
    std::size_t run = 0;
    for (std::size_t i = 0; i < s.size();) {
        const char c = s[i];
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7f && c != '"' && c != '\\') {
            ++i;
            continue;
        }
        const text::utf8_unit u = text::utf8_unit_at(s, i);
        if (u.valid && u.code >= 0x7f && !text::acts_on_terminal(u.code)) {
            i += u.length;
            continue;
        }
        out.write(s.substr(run, i - run));
        i += u.length;
        run = i;
        switch (c) {
            case '"': out.write("\\\""); break;
            case '\\': out.write("\\\\"); break;
            case '\n': out.write("\\n"); break;
            case '\t': out.write("\\t"); break;
            case '\r': out.write("\\r"); break;
            case '\b': out.write("\\b"); break;
            case '\f': out.write("\\f"); break;
            default: {
                // Every code point escaped here lies below U+10000: four digits.
                const char32_t code = u.code;
                const char escape[] = {'\\', 'u', hex_digits[code >> 12 & 0xf], hex_digits[code >> 8 & 0xf],
                                       hex_digits[code >> 4 & 0xf], hex_digits[code & 0xf]};
                out.write(std::string_view(escape, sizeof escape));
            }
        }
    }
    out.write(s.substr(run));
    out.put('"');
}

// Four digits for three octets, written out a few thousand at a time.
void write_base64(output::buffer& out, std::string_view bytes) {
    constexpr char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::array<char, 4096> chunk;
    std::size_t used = 0;
    std::size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3) {
        const std::uint32_t v = static_cast<unsigned char>(bytes[i]) << 16 |
                                static_cast<unsigned char>(bytes[i + 1]) << 8 | static_cast<unsigned char>(bytes[i + 2]);
        for (int shift : {18, 12, 6, 0}) chunk[used++] = alphabet[v >> shift & 0x3f];
        if (used == chunk.size()) {
            out.write(std::string_view(chunk.data(), used));
            used = 0;
        }
    }
    out.write(std::string_view(chunk.data(), used));
    const std::size_t rest = bytes.size() - i;
    if (rest == 0) return;
    std::uint32_t v = static_cast<unsigned char>(bytes[i]) << 16;
    if (rest == 2) v |= static_cast<unsigned char>(bytes[i + 1]) << 8;
    const char last[] = {alphabet[v >> 18 & 0x3f], alphabet[v >> 12 & 0x3f], rest == 2 ? alphabet[v >> 6 & 0x3f] : '=', '='};
    out.write(std::string_view(last, sizeof last));
}

template <class Integer>
void write_number(output::buffer& out, Integer value) {
    char digits[24];
    out.write(std::string_view(digits, static_cast<std::size_t>(std::to_chars(digits, digits + sizeof digits, value).ptr - digits)));
}

// Writes one object member at a time, with the commas between them.
struct object_writer {
    output::buffer& out;
    bool first = true;

    explicit object_writer(output::buffer& o) : out(o) { out.put('{'); }
    void close() { out.put('}'); }

    output::buffer& key(std::string_view name) {
        if (!first) out.put(',');
        first = false;
        write_escaped_string(out, name);
        out.put(':');
        return out;
    }
    void text(std::string_view name, std::string_view value) { write_json_text(key(name), value); }
    void keyword(std::string_view name, std::string_view value) { write_escaped_string(key(name), value); }
    void number(std::string_view name, std::int64_t value) { write_number(key(name), value); }
    void unsigned_number(std::string_view name, std::uint64_t value) { write_number(key(name), value); }
    void null(std::string_view name) { key(name).write("null"); }
};

template <class Range, class Element>
void write_array(output::buffer& out, const Range& items, Element&& element) {
    out.put('[');
    bool first = true;
    for (const auto& item : items) {
        if (!first) out.put(',');
        first = false;
        element(out, item);
    }
    out.put(']');
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

void write_timestamp(output::buffer& out, quarvel::timestamp t) { write_escaped_string(out, json_timestamp_text(t)); }
void write_uuid(output::buffer& out, const quarvel::uuid& u) { write_escaped_string(out, quarvel::uuid_text(u)); }

void write_script_job(output::buffer& out, const quarvel::script_job& j) {
    object_writer o(out);
    o.keyword("type", "script_job");
    o.text("name", j.name);
    o.text("platform", j.platform);
    o.text("script", j.script);
    o.close();
}

void write_vesk_build_job(output::buffer& out, const quarvel::vesk_build_job& j) {
    object_writer o(out);
    o.keyword("type", "vesk_build_job");
    o.text("name", j.name);
    o.text("opam_package", j.opam_package);
    o.close();
}

void write_job(output::buffer& out, const quarvel::job& j) {
    std::visit(overloaded{[&](const quarvel::script_job& s) { write_script_job(out, s); },
                          [&](const quarvel::vesk_build_job& v) { write_vesk_build_job(out, v); }},
               j);
}

void write_jobs(output::buffer& out, const std::vector<quarvel::job>& jobs) {
    write_array(out, jobs, [](output::buffer& o, const quarvel::job& j) { write_job(o, j); });
}

void write_result(output::buffer& out, const quarvel::execution_result& r) {
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

// Output files, their contents owned or viewed.
template <class Files>
void write_data(output::buffer& out, const Files& files, const json_options& options) {
    write_array(out, files, [&](output::buffer& s, const auto& f) {
        object_writer o(s);
        o.text("path", f.path);
        o.unsigned_number("size", f.data.size());
        if (options.contents) o.text("data", f.data);
        o.close();
    });
}

void write_schedule_fields(object_writer& o, const quarvel::schedule_item& item) {
    write_timestamp(o.key("next"), item.next);
    o.keyword("period", period_name(item.period));
    write_job(o.key("job"), item.job);
}

void write_info(output::buffer& out, const quarvel::info& i) {
    object_writer o(out);
    write_array(o.key("schedule"), i.schedule, [](output::buffer& s, const quarvel::schedule_item& item) {
        object_writer w(s);
        write_schedule_fields(w, item);
        w.close();
    });
    write_array(o.key("queues"), i.queues, [](output::buffer& s, const quarvel::queue_entry& q) {
        object_writer w(s);
        w.text("platform", q.platform);
        write_jobs(w.key("jobs"), q.jobs);
        w.close();
    });
    write_array(o.key("running"), i.running, [](output::buffer& s, const quarvel::running_entry& r) {
        object_writer w(s);
        write_timestamp(w.key("started"), r.started);
        write_uuid(w.key("uuid"), r.uuid);
        write_script_job(w.key("job"), r.job);
        w.close();
    });
    write_array(o.key("dropped_platforms"), i.dropped_platforms,
                 [](output::buffer& s, const std::string& p) { write_json_text(s, p); });
    o.close();
}

}  // namespace

void write_json_text(output::buffer& out, std::string_view bytes) {
    if (text::valid_utf8(bytes)) {
        write_escaped_string(out, bytes);
        return;
    }
    out.write("{\"base64\":\"");
    write_base64(out, bytes);
    out.write("\"}");
}

void append_json_text(std::string& text, std::string_view bytes) {
    output::buffer out(text);
    write_json_text(out, bytes);
}

std::string json_timestamp_text(quarvel::timestamp t) {
    return std::string(der::write_time_text(t, der::time_layout::rfc3339, der::time_fraction::exact).view());
}

// A record, its texts viewed in the input.
void write_json(output::buffer& out, const quarvel::execution_record_view& r, const json_options& options) {
    object_writer o(out);
    write_script_job(o.key("job"), r.job);
    write_uuid(o.key("uuid"), r.uuid);
    write_array(o.key("console"), r.console, [](output::buffer& s, const auto& l) {
        object_writer w(s);
        w.number("delta", l.delta);
        w.text("data", l.data);
        w.close();
    });
    write_timestamp(o.key("started"), r.started);
    write_timestamp(o.key("finished"), r.finished);
    write_result(o.key("result"), r.result);
    write_data(o.key("output"), r.output, options);
    o.close();
}

void write_json(output::buffer& out, const quarvel::asn::salvaged_record& r, const json_options& options,
                std::uint64_t offset, std::string_view path) {
    object_writer o(out);
    if (r.job) write_script_job(o.key("job"), *r.job);
    if (r.uuid) write_uuid(o.key("uuid"), *r.uuid);
    if (r.console_reached)
        write_array(o.key("console"), r.console, [](output::buffer& s, const auto& l) {
            object_writer w(s);
            w.number("delta", l.delta);
            w.text("data", l.data);
            w.close();
        });
    if (r.started) write_timestamp(o.key("started"), *r.started);
    if (r.finished) write_timestamp(o.key("finished"), *r.finished);
    if (r.result) write_result(o.key("result"), *r.result);
    if (r.output_reached) write_data(o.key("output"), r.output, options);
    object_writer cut(o.key("cut"));
    cut.unsigned_number("offset", offset);
    if (!path.empty()) cut.text("path", path);
    cut.close();
    o.close();
}

void write_json(output::buffer& out, const quarvel::state_item& item) {
    object_writer o(out);
    std::visit(overloaded{[&](const quarvel::state_item::Queue& q) {
                              o.keyword("type", "queue");
                              o.text("platform", q.platform);
                              write_jobs(o.key("jobs"), q.jobs);
                          },
                          [&](const quarvel::state_item::Schedule& sc) {
                              o.keyword("type", "schedule");
                              write_schedule_fields(o, sc.item);
                          },
                          [&](const quarvel::state_item::Dropped_platform& d) {
                              o.keyword("type", "dropped_platform");
                              o.text("platform", d.platform);
                          }},
               item.value);
    o.close();
}

void write_json(output::buffer& out, const quarvel::state& state, const json_options&) {
    write_array(out, state, [](output::buffer& s, const quarvel::state_item& item) { write_json(s, item); });
}

void write_json(output::buffer& out, const quarvel::cmd& command, const json_options& options) {
    using C = quarvel::cmd;
    object_writer o(out);
    std::visit(
        overloaded{
            [&](const C::Job_request& c) {
                o.keyword("type", "job_request");
                o.text("platform", c.platform);
            },
            [&](const C::Job_schedule& c) {
                o.keyword("type", "job_schedule");
                write_uuid(o.key("uuid"), c.uuid);
                write_script_job(o.key("job"), c.job);
            },
            [&](const C::Job_finished& c) {
                o.keyword("type", "job_finished");
                write_uuid(o.key("uuid"), c.uuid);
                write_result(o.key("result"), c.result);
                write_data(o.key("data"), c.data, options);
            },
            [&](const C::Output& c) {
                o.keyword("type", "output");
                write_uuid(o.key("uuid"), c.uuid);
                o.text("output", c.output);
            },
            [&](const C::Output_timestamped& c) {
                o.keyword("type", "output_timestamped");
                write_uuid(o.key("uuid"), c.uuid);
                // Written on the wire as the INTEGER of its 64-bit pattern: the number a console delta
                // of the same octets shows.
                o.number("timestamp", static_cast<std::int64_t>(c.timestamp.nanoseconds));
                o.text("output", c.output);
            },
            [&](const C::Schedule& c) {
                o.keyword("type", "schedule");
                o.keyword("period", period_name(c.period));
                write_script_job(o.key("job"), c.job);
            },
            [&](const C::Unschedule& c) {
                o.keyword("type", "unschedule");
                o.text("name", c.name);
            },
            [&](const C::Info&) { o.keyword("type", "info"); },
            [&](const C::Info_reply& c) {
                o.keyword("type", "info_reply");
                write_info(o.key("info"), c.info);
            },
            [&](const C::Observe& c) {
                o.keyword("type", "observe");
                write_uuid(o.key("uuid"), c.uuid);
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
                write_vesk_build_job(o.key("vesk_build_job"), c.vesk_build_job);
            },
            [&](const C::Reschedule& c) {
                o.keyword("type", "reschedule");
                o.text("name", c.name);
                write_timestamp(o.key("next"), c.next);
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
}

}  // namespace dump
