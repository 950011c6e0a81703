#pragma once
// veltra-cli: the program's instrument operations from a terminal, for scripts and headless
// stations. The commands run through the same core as the windows.
//
// Exit status: 0 success; 1 the port cannot be opened or the instrument did not answer
// correctly (one line on stderr says which); 2 a usage error.

#include <QStringList>
#include <QTextStream>

namespace veltra::cli {

inline constexpr int exitOk = 0;
inline constexpr int exitFailure = 1;
inline constexpr int exitUsage = 2;

// Runs one command line (without the program name). Output goes to out, messages to err.
int run(const QStringList& args, QTextStream& out, QTextStream& err);

[[nodiscard]] QString usageText();

} // namespace veltra::cli
