// A record's file that changes while it is read never ends in success and never replaces a target with
// anything but the record's contents. The timing is forced, never raced: the file is changed from inside
// the reader's callback, from the check the export asks, or while the tool waits for its reader on a pipe.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <unistd.h>

#include <quarvel/asn.hpp>

#include "cli/eval.hpp"
#include "file_input/read_file.hpp"
#include "inspect/export.hpp"
#include "support/process.hpp"

namespace {

namespace fs = std::filesystem;

const std::size_t page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));

// A record with three output files of many pages each, whose targets hold "old" before the export.
struct workspace {
    test::temp_dir dir;
    std::string out = dir.path + "/out";
    std::string record_path;
    quarvel::execution_record record;

    explicit workspace(std::size_t console_bytes = 0) {
        record.job = {"a", "p", "s"};
        for (std::size_t at = 0; at < console_bytes; at += 100) record.console.push_back({0, std::string(100, 'c')});
        record.result = quarvel::Exited{0};
        record.output = {{"one", std::string(8 * page, '1')}, {"two", std::string(8 * page, '2')},
                         {"three", std::string(8 * page, '3')}};
        record_path = dir.file("rec.der", quarvel::asn::exec_to_str(record));
        fs::create_directory(out);
        for (const auto& f : record.output) dir.file("out/" + f.path, "old");
    }
    // Cut to its first page: everything after it, the output files' contents included, is gone.
    void truncate() const { ASSERT_EQ(::truncate(record_path.c_str(), static_cast<off_t>(page)), 0); }
    std::string target(const std::string& name) const { return test::read_file(out + "/" + name); }
};

// Reads the record in place and exports its files, with `meddle` run first inside the reader's callback and
// `check` standing for the reader's check (it is given that check).
struct exported {
    quarvel::result<void> read, export_result;
};

exported read_and_export(const workspace& w, const std::function<void()>& meddle,
                         const std::function<file_input::source_check(const file_input::source_check&)>& check) {
    exported e;
    e.read = file_input::with_whole_file(w.record_path, [&](std::string_view bytes, const file_input::prefix_done&,
                                                            const file_input::source_check& source) {
        const auto record = quarvel::asn::exec_view_of_str(bytes);
        ASSERT_TRUE(record);
        meddle();
        e.export_result = inspect::export_output(w.out, record->output, check(source));
    });
    return e;
}

const auto as_is = [](const file_input::source_check& source) { return source; };

// Truncated before the export: the first write from the lost pages fails with EFAULT (no SIGBUS in a
// system call), which is the file's change, not a file skipped; every target keeps what it held.
TEST(ChangedSource, ATruncatedRecordReplacesNoTarget) {
    workspace w;
    int asked = 0;
    int write_error = -1;
    const auto e = read_and_export(w, [&] { w.truncate(); }, [&](const file_input::source_check& source) {
        return file_input::source_check([&, source](int error) {
            ++asked;
            write_error = error;
            return source(error);
        });
    });
    const std::string changed = w.record_path + ": file changed while being read";
    ASSERT_FALSE(e.export_result);
    EXPECT_EQ(e.export_result.error(), changed);
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(write_error, EFAULT);
    ASSERT_FALSE(e.read);
    EXPECT_EQ(e.read.error(), changed);
    for (const auto* name : {"one", "two", "three"}) EXPECT_EQ(w.target(name), "old") << name;
    EXPECT_EQ(test::tree(w.out), (std::vector<std::string>{"one", "three", "two"}));  // no temporary file left
}

// Changed in the middle of the export, after the first file was written and checked: that one is the
// record's and stays; the second is written but not renamed, the third not written.
TEST(ChangedSource, AChangeMidwayKeepsTheLaterTargets) {
    for (const bool shrink : {true, false}) {
        workspace w;
        int asked = 0;
        const auto e = read_and_export(w, [] {}, [&](const file_input::source_check& source) {
            return file_input::source_check([&, source](int error) {
                if (++asked == 2) {
                    if (shrink) {
                        w.truncate();
                    } else {
                        // The same size, written again: only the modification time tells.
                        struct timespec times[2] = {{0, UTIME_OMIT}, {12345, 678}};
                        EXPECT_EQ(::utimensat(AT_FDCWD, w.record_path.c_str(), times, 0), 0);
                    }
                }
                return source(error);
            });
        });
        const std::string what = shrink ? "shrunk" : "touched";
        ASSERT_FALSE(e.export_result) << what;
        EXPECT_EQ(e.export_result.error(), w.record_path + ": file changed while being read") << what;
        EXPECT_EQ(asked, 2) << what;
        EXPECT_FALSE(e.read) << what;
        EXPECT_EQ(w.target("one"), w.record.output[0].data) << what;
        EXPECT_EQ(w.target("two"), "old") << what;
        EXPECT_EQ(w.target("three"), "old") << what;
        EXPECT_EQ(test::tree(w.out), (std::vector<std::string>{"one", "three", "two"})) << what;
    }
}

// Nothing changed: every target is replaced, and the check was asked once per file.
TEST(ChangedSource, AnUnchangedRecordIsExportedWhole) {
    workspace w;
    const auto e = read_and_export(w, [] {}, as_is);
    EXPECT_TRUE(e.read);
    EXPECT_TRUE(e.export_result);
    for (const auto& f : w.record.output) EXPECT_EQ(w.target(f.path), f.data) << f.path;
}

// The tool itself, its standard output a pipe that the test reads: the transcript is larger than the pipe
// holds, so the tool waits on it before the export; the record is truncated while it waits. The run fails
// with the file's change, whatever it printed, and every target keeps what it held.
struct piped_outcome {
    int status = -1;
    std::string out, err;
};

piped_outcome run_truncated_while_printing(const std::vector<std::string>& argv, const workspace& w) {
    int out[2];
    if (::pipe(out) != 0) return {};
    const std::string err_path = w.dir.path + "/stderr";
    const int err = ::open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (err < 0) return {};
    const pid_t pid = test::spawn(argv, {.out = out[1], .err = err, .prepare = [&] {
                                             ::signal(SIGPIPE, SIG_DFL);
                                             ::close(out[0]);
                                         }});
    ::close(err);
    ::close(out[1]);
    piped_outcome r;
    char buffer[65536];
    // The first bytes: the tool has decoded the record and is printing; it cannot finish before the rest
    // of the pipe is read.
    const ssize_t first = ::read(out[0], buffer, 1);
    if (first > 0) r.out.append(buffer, 1);
    w.truncate();
    for (;;) {
        const ssize_t n = ::read(out[0], buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        r.out.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(out[0]);
    r.status = test::wait_for(pid);
    r.err = test::read_file(err_path);
    return r;
}

TEST(ChangedSource, QuarvelInspectFailsAndKeepsTheTargets) {
    workspace w(4 << 20);  // a transcript of several MB, far beyond what a pipe holds
    const auto r = run_truncated_while_printing(
        {QUARVEL_INSPECT_BINARY, "--console", "--output", w.out, w.record_path}, w);
    EXPECT_EQ(r.status, 124);
    EXPECT_EQ(r.err, cli::message_line("quarvel-inspect", w.record_path + ": file changed while being read") + "\n");
    EXPECT_TRUE(r.out.starts_with("started at ")) << r.out.substr(0, 100);
    for (const auto* name : {"one", "two", "three"}) EXPECT_EQ(w.target(name), "old") << name;
    EXPECT_EQ(test::tree(w.out), (std::vector<std::string>{"one", "three", "two"}));
}

// quarvel-dump writes a record's texts straight from the file's pages: a write that finds them gone
// (EFAULT) is the file's change, not "standard output: Bad address".
TEST(ChangedSource, QuarvelDumpSaysTheFileChanged) {
    workspace w;
    auto big = w.record;
    big.console = {{0, std::string(4 << 20, 'c')}};
    w.record_path = w.dir.file("rec.der", quarvel::asn::exec_to_str(big));
    const auto r = run_truncated_while_printing({QUARVEL_DUMP_BINARY, "--json", "exec", w.record_path}, w);
    EXPECT_EQ(r.status, 124);
    EXPECT_EQ(r.err, cli::message_line("quarvel-dump", w.record_path + ": file changed while being read") + "\n");
    EXPECT_TRUE(r.out.starts_with("{\"job\":")) << r.out.substr(0, 100);
}

}  // namespace
