#pragma once
// veltra-cli: the program's instrument operations from a terminal, for scripts and headless
// stations. The commands run through the same core as the windows.
//
// Exit status: 0 success; 1 the port cannot be opened or the instrument did not answer
// correctly (one line on stderr says which); 2 a usage error.

#include "command.h"

#include <QStringList>
#include <QTextStream>

#include <span>

namespace veltra::cli {

// Runs one command line (without the program name). Output goes to out, messages to err.
int run(const QStringList& args, QTextStream& out, QTextStream& err,
        const Environment& environment = {});

// The table of commands.
[[nodiscard]] std::span<const Command> commands();

// The overview: every command's usage line and summary, and the exit status.
[[nodiscard]] QString usageText();
// One command's usage line and help.
[[nodiscard]] QString helpText(const Command& command);

} // namespace veltra::cli
