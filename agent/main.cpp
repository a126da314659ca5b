// host-agent: the stand-in host's executable.
#include <exception>
#include <iostream>
#include <string>

#include <CLI/CLI.hpp>

#include "exit_status.h"
#include "install_layout.h"
#include "run_command.h"
#include "show_command.h"
#include "text_escape.h"
#include "version_text.h"

namespace {

const CLI::Validator nonEmpty(
    [](const std::string& value) { return value.empty() ? std::string("must not be empty") : ""; },
    "", "NONEMPTY");

// Like every other error of the agent, prefixed with its name.
std::string usageError(const CLI::App*, const CLI::Error& error)
{
    return "host-agent: " + KXL::escapeText(error.what()) +
        "\nRun host-agent --help for more information.\n";
}

int agentMain(int argc, char** argv)
{
    CLI::App app("Loads plug-ins, runs them and prints the vocabularies they publish.",
                 "host-agent");
    app.footer("Without a command, host-agent runs. Exit status: 0 when every plug-in "
               "returned 0, 1 when one failed, 2 for a bad command line or set-up.");
    app.set_version_flag("--version", KXL::versionText(),
                         "Print the version of host-agent and of the .voc format, and exit");
    app.failure_message(usageError);

    KXL::KXLRunOptions options;
    app.add_option("--plugins", options.pluginsFolder,
                   "Plug-in folder, one plug-in per NAME/NAME.so (default: the install tree's)")
        ->type_name("DIR")
        ->check(nonEmpty);
    app.add_option("--catalog", options.catalogFile,
                   "Guest OS catalogue (JSON) the server serves (default: the built-in one)")
        ->type_name("FILE")
        ->check(nonEmpty);
    app.add_option("--log", options.logFile, "Log file (default: standard error)")
        ->type_name("FILE")
        ->check(nonEmpty);

    CLI::App* run = app.add_subcommand("run", "Run the plug-ins (the default)");
    CLI::App* show = app.add_subcommand("show", "Print a saved vocabulary (.voc) file");
    std::string file;
    show->add_option("FILE", file, "The .voc file, or - for standard input")->required();
    run->fallthrough();
    show->fallthrough();
    app.require_subcommand(0, 1);

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        return app.exit(error) == 0 ? KXL::exitSuccess : KXL::exitUsage;
    }

    if (show->parsed()) {
        for (const char* option : {"--plugins", "--catalog", "--log"}) {
            if (app.count(option) > 0) {
                std::cerr << "host-agent: " << option << " applies to run, not to show\n";
                return KXL::exitUsage;
            }
        }
        return KXL::showVocabularyFile(file, std::cout, std::cerr);
    }

    if (options.pluginsFolder.empty())
        options.pluginsFolder = KXL::defaultPluginsFolder();
    return KXL::runAgent(options, std::cout, std::cerr);
}

} // namespace

int main(int argc, char** argv)
{
    try {
        return agentMain(argc, argv);
    } catch (const std::exception& error) {
        std::cerr << "host-agent: " << KXL::escapeText(error.what()) << '\n';
        return KXL::exitFailure;
    }
}
