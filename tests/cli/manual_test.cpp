// The manual's layout: entries, sections, the exit statuses, the man page's NAME line and groff escapes.
#include <gtest/gtest.h>

#include "cli/manual.hpp"
#include "cli/named_command.hpp"

namespace {

using cli_test::named;

TEST(TextLayout, ManualEntriesWithShortLabelsStartOnTheLabelLine) {
    cli::command cmd = named("t");
    cli::add(cmd, cli::flag({"-x"}, "Short label."));
    cli::add(cmd, cli::flag({"-y", "--yes"}, "Long label."));
    const auto text = cli::plain_manual(cli::manual_of(cmd), false);
    EXPECT_NE(text.find("OPTIONS\n       -x  Short label.\n\n       -y, --yes\n           Long label.\n\n"),
              std::string::npos)
        << text;
}

TEST(TextLayout, SectionsOfTheCommandsOwnComeAfterTheExitStatuses) {
    cli::command cmd = named("t");
    cmd.sections = {{"ENVIRONMENT", {{"T_HOME", "Where $(cmd) looks first."}, {"", "Nothing else is read."}}},
                    {"EMPTY", {}}};
    const auto text = cli::plain_manual(cli::manual_of(cmd), false);
    EXPECT_TRUE(text.ends_with("       125 on unexpected internal errors (bugs).\n\n"
                               "ENVIRONMENT\n       T_HOME\n           Where t looks first.\n\n"
                               "       Nothing else is read.\n\n"))
        << text;
    const auto groff = cli::groff_manual(cli::manual_of(cmd), cmd.name);
    EXPECT_TRUE(groff.ends_with(".SH \"ENVIRONMENT\"\n.TP 4\nT_HOME\nWhere \\fBt\\fR looks first.\n.P\n"
                                "Nothing else is read.\n"))
        << groff;
}

// A command whose statuses are not the layer's says so in a section of its own, in the generic one's place.
TEST(TextLayout, AnExitStatusSectionOfTheCommandsOwnReplacesTheGenericOne) {
    cli::command cmd = named("t");
    cmd.sections = {{"NOTES", {{"", "A note."}}},
                    {"EXIT STATUS", {{"", "$(cmd) exits with:"}, {"0", "on success."}, {"1", "otherwise."}}}};
    const auto text = cli::plain_manual(cli::manual_of(cmd), false);
    EXPECT_NE(text.find("EXIT STATUS\n       t exits with:\n\n       0   on success.\n\n       1   otherwise.\n\n"
                        "NOTES\n       A note.\n\n"),
              std::string::npos)
        << text;
    EXPECT_EQ(text.find("123"), std::string::npos) << text;
    EXPECT_EQ(text.find("EXIT STATUS"), text.rfind("EXIT STATUS"));
}

// A summary for the man page only: the manual's NAME keeps the name alone.
TEST(TextLayout, TheManPageSummaryIsOnlyOnTheGroffNameLine) {
    cli::command cmd = named("t");
    cmd.man_page_summary = "a tool";
    const auto sections = cli::manual_of(cmd);
    EXPECT_TRUE(cli::plain_manual(sections, false).starts_with("NAME\n       t\n\nSYNOPSIS\n"));
    const auto groff = cli::groff_manual(sections, cmd.name);
    EXPECT_NE(groff.find(".SH \"NAME\"\nt \\- a tool\n.SH \"SYNOPSIS\"\n"), std::string::npos) << groff;
    // A description is shown in both, and the summary then has no part.
    cmd.description = "the tool";
    const auto described = cli::manual_of(cmd);
    EXPECT_TRUE(cli::plain_manual(described, false).starts_with("NAME\n       t - the tool\n\n"));
    EXPECT_NE(cli::groff_manual(described, cmd.name).find(".SH \"NAME\"\nt \\- the tool\n"), std::string::npos);
}

TEST(TextLayout, GroffEscapesBackslashesHyphensControlLinesAndUnicode) {
    cli::command cmd = named("t");
    cmd.description = "a tool";
    cli::add(cmd, cli::flag({"--dot"}, ".starts with a dot, holds a \\ and \u00e9"));
    const auto groff = cli::groff_manual(cli::manual_of(cmd), cmd.name);
    EXPECT_NE(groff.find(".SH \"NAME\"\nt \\- a tool\n"), std::string::npos) << groff;
    EXPECT_NE(groff.find(".TP 4\n\\fB\\-\\-dot\\fR\n\\&.starts with a dot, holds a \\e and \\[u00E9]\n"),
              std::string::npos)
        << groff;
}

}  // namespace
