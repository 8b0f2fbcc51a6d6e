// The ways kestra ends on an error that the user sees in the Fatal Error
// dialog: a server that goes away, and a configuration file with a mistake,
// which the dialog's Edit Cnf opens in the configured editor.
#include "e2e/EndToEnd.h"

#include <filesystem>

namespace kestra::e2e {
namespace {

// The server's command ends after a while; kestra-serve then closes the
// connection, and the program ends with the server's message once the user
// has closed the dialog with Return (Shutdown is its default button).
TEST_F(EndToEndTest, AServerThatExitsEndsTheProgramWithItsMessageAndStatus255) {
    ChildProcess server = StartServe(directory_ / "Leaving", "printf 'going\\n'; sleep 1");
    ASSERT_NO_FATAL_FAILURE(StartKestra("Leaving", {"Leaving"}));
    const std::string dialog = x_->FindWindow("^Fatal Error$");
    ASSERT_FALSE(dialog.empty()) << "no dialog; stderr: " << kestra_->Errors();
    EXPECT_EQ(kestra_->Status(300), -1) << "the program waits for the user";
    EXPECT_TRUE(x_->KeyUntil(dialog, "Return", [&] { return !kestra_->Running(); }));
    EXPECT_EQ(kestra_->Status(), 255);
    EXPECT_EQ(kestra_->Errors(),
              "The server for pipe " + (directory_ / "Leaving") + " has shut down\n");
}

// A mistake in an included file: the report names the file, the line, the
// including file and marks the word; Edit Cnf starts EditCommand with the
// innermost file, the line and the column of that word, and the dialog stays
// until Shutdown.
TEST_F(EndToEndTest, AConfigurationErrorIsReportedWhereItIsAndEditCnfOpensItThere) {
    const std::string editor = directory_ / "editor.sh";
    const std::string arguments = directory_ / "editor-arguments";
    WriteFile(editor, "#!/bin/sh\nprintf '%s\\n' \"$*\" >> " + Quoted(arguments) + "\n");
    std::filesystem::permissions(editor, std::filesystem::perms::owner_all);
    const std::string inner = WriteConfiguration("inner.cnf", "; the consoles' delays\n"
                                                              "  PasteDelays = 5 nonsense\n");
    // %% is one % in a configuration line (a single % would start a
    // variable's name).
    const std::string outer =
        WriteConfiguration("outer.cnf", "QuietMode = on\nEditCommand = " + editor +
                                            " %%s %%d %%d\nINCLUDE " + inner + "\n");
    KestraRun kestra(*x_, directory_, {"/C:" + outer});
    const std::string dialog = x_->FindWindow("^Fatal Error$");
    ASSERT_FALSE(dialog.empty()) << "no dialog; stderr: " << kestra.Errors();
    EXPECT_EQ(kestra.Errors(), "Error in line 2 of " + inner + "\n    from line 3 of " + outer +
                                   "\n  PasteDelays = 5 nonsense\n"
                                   "                  ^^^^^^^^\n"
                                   "Expected a decimal number\n");

    EXPECT_TRUE(x_->KeyUntil(dialog, "alt+e", [&] { return !ReadFile(arguments).empty(); }))
        << "the editor did not start";
    EXPECT_EQ(ReadFile(arguments), inner + " 2 19\n");
    EXPECT_TRUE(kestra.Running()) << "the dialog stays open";
    EXPECT_TRUE(x_->KeyUntil(dialog, "alt+s", [&] { return !kestra.Running(); }));
    EXPECT_EQ(kestra.Status(), 255);
}

} // namespace
} // namespace kestra::e2e
