// The archive tab of TForm1.
#include "forms/main_window.h"

#include "ui_main_window.h"

#include <qcustomplot.h>

namespace veltra::forms {

void TForm1::clearArchiveChart() {
    if (QCPGraph* series = m_ui->Chart5->graph()) {
        series->data()->clear();
        m_ui->Chart5->replot(QCustomPlot::rpQueuedReplot);
    }
}

} // namespace veltra::forms
