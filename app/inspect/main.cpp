// quarvel-inspect: prints and exports what a job execution record holds.
#include <quarvel/version.hpp>

#include "cli/converters.hpp"
#include "cli/eval.hpp"
#include "log_output/logging_options.hpp"
#include "run.hpp"

int main(int argc, char** argv) {
    cli::command cmd;
    cmd.name = "quarvel-inspect";
    cmd.version = quarvel::version;
    // The manual's NAME is the name alone; the man page's NAME line also says what the tool does, for
    // whatis and apropos.
    cmd.man_page_summary = "print and export what a job execution record holds";

    // Declared in the order their values are validated; the log is set up right after the first four.
    log_output::declare_logging_options(cmd);
    const auto file =
        cli::add(cmd, cli::positional(0, "FILE", "The file name to inspect", cli::existing_file_or_stdin(), true));
    const auto console = cli::add(cmd, cli::flag({"--console"}, "Print console output"));
    const auto script = cli::add(cmd, cli::flag({"--script"}, "Print script"));
    const auto output = cli::add(
        cmd, cli::option({"--output"}, "DIR", "Output files into a directory", cli::existing_directory()));
    const auto job = cli::add(cmd, cli::flag({"--job"}, "Print job information"));

    return cli::eval(cmd, argc, argv, [&](const cli::values& v) {
        return inspect::jump(v.text(file).value_or("-"), v.flag(console), v.flag(script), v.text(output),
                             v.flag(job), v.say_error_as_written);
    });
}
