#pragma once
// What the window and the tool keep in the dose history (history/): each archive read as a
// download, and the measurement log's readings. The instrument is known by its type (from the
// parameters) and the 20 bytes of its identity, as heard on the line: by the archive read's own
// proofs, or by two identity probes that agree.

#include "app/archive_tab.h"
#include "history/history_store.h"
#include "instrument/transactions.h"
#include "live/current_data.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>

namespace veltra::app {

class AppContext;

[[nodiscard]] QByteArray identityBytes(const instrument::IdentityBlock& identity);

struct DownloadStored {
    bool stored = false;
    QString instrument; // the name it is stored under
    history::StoreReport report;
    QString error; // why it was not stored: the file and the reason
    bool full = false;
};

// Stores the archive read just made (complete, or the proven records of a read that ended
// early) under the instrument it identified. Its type is the parameters' of the last read, or
// one parameter readout now when they were never read. name: for an instrument new to the
// history (empty: the model's caption and the identity's first four hex digits).
DownloadStored storeArchiveRead(AppContext& context, const ArchiveReadResult& read,
                                const QString& historyPath, const QString& name,
                                const QString& programVersion);

// The measurement log's readings, into the history beside it.
class ReadingsHistory {
public:
    explicit ReadingsHistory(QString path) : m_path(std::move(path)) {}

    // Stores a new measurement. The instrument is asked who it is once a connection (two
    // identity probes) when the line's identity is not known yet; a reading whose instrument
    // cannot be told is kept without one, never under another's name.
    history::Result add(AppContext& context, const live::CurrentData& reading,
                        const QString& computerTime);
    // The line may have another instrument now (a new port, a cable that stopped answering):
    // the next reading asks again.
    void lineChanged();

    [[nodiscard]] const QString& path() const { return m_path; }

private:
    std::int64_t instrumentId(AppContext& context, history::Result& result);

    QString m_path;
    history::HistoryStore m_store;
    bool m_open = false;
    bool m_asked = false; // the identity was asked on this connection
    std::uint8_t m_port = 0;
    std::optional<instrument::IdentityBlock> m_identity;
    int m_type = 0;
    std::int64_t m_instrumentId = 0;
};

} // namespace veltra::app
