#pragma once
// veltra-cli's parameter commands: params, params save, dose-reset, factory-reset. They run the
// parameters tab's own operations on the core's tab state, so they send what the window sends.

#include "app/app_context.h"

#include <QStringList>
#include <QTextStream>

namespace veltra::cli {

struct ParamsOptions {
    bool json = false;
    int language = 1;       // the tables the lists are filled from (the window's start-up)
    QStringList edits;      // NAME=VALUE, in order
    bool confirmed = false; // factory-reset --yes
};

int commandParams(app::AppContext& context, const ParamsOptions& options, QTextStream& out,
                  QTextStream& err);
int commandParamsSave(app::AppContext& context, const ParamsOptions& options, QTextStream& out,
                      QTextStream& err);
int commandDoseReset(app::AppContext& context, QTextStream& out, QTextStream& err);
int commandFactoryReset(app::AppContext& context, const ParamsOptions& options, QTextStream& out,
                        QTextStream& err);

// Reads the readout as the program does; false with one line on err when it fails.
bool readParametersFor(app::AppContext& context, QTextStream& err, QChar decimalSeparator);

[[nodiscard]] QString paramsUsage();

} // namespace veltra::cli
