#pragma once
// The dose history as an ANSI N42.42-2011 document: the instrument, one RadMeasurement per
// dose-rate record (its start on the instrument's clock with the UTC offset of the download
// that brought it, its duration the logging interval when known, else the time to the next
// record of its session), and each session as a RadMeasurementGroup. The schema has no place
// for a flux density or a volumetric activity: such records are left out, and counted.

#include "history/history_store.h"

#include <QIODevice>

namespace veltra::history {

struct N42Source {
    Instrument instrument;
    QString modelName;                 // the model's caption ("ТР-403")
    QString creator;                   // "Veltra 0.1.0"
    QString documentUuid;              // 8-4-4-4-12 hex digits
    std::vector<StoredRecord> records; // of this instrument, in clock order
};

struct N42Report {
    int measurements = 0; // RadMeasurement elements written
    int leftOut = 0;      // records of other modes
    int groups = 0;
};

// Writes the document; false when the device did not take it (its error string says why).
bool writeN42(QIODevice& out, const N42Source& source, N42Report& report);

} // namespace veltra::history
