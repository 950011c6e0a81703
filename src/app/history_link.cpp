#include "app/history_link.h"

#include "app/app_context.h"
#include "app/text_tables.h"
#include "text/clock_fields.h"

#include <QDateTime>

namespace veltra::app {

QByteArray identityBytes(const instrument::IdentityBlock& identity) {
    return {reinterpret_cast<const char*>(identity.data()),
            static_cast<qsizetype>(identity.size())};
}

namespace {

QString defaultInstrumentName(int type, const QByteArray& identity) {
    return history::defaultName(modelCaption(type, text::Language::russian).value_or(QString()),
                                identity);
}

} // namespace

DownloadStored storeArchiveRead(AppContext& context, const ArchiveReadResult& read,
                                const QString& historyPath, const QString& name,
                                const QString& programVersion) {
    DownloadStored out;
    if (!read.identity) {
        out.error = QStringLiteral("the instrument's identity was not heard");
        return out;
    }
    int type = context.state.parameters.block.deviceType;
    if (!context.state.parametersRead) {
        const auto readout =
            context.onDevice([&] { return instrument::readParameterReadout(context.link); });
        if (!readout.ok()) {
            out.error = QStringLiteral("the instrument's type could not be read");
            return out;
        }
        type = readout.value->block.deviceType;
    }
    const QByteArray identity = identityBytes(*read.identity);
    history::HistoryStore store;
    history::Result r = store.open(historyPath, true);
    std::optional<history::Instrument> instrument;
    if (r) {
        instrument = store.instrumentFor(
            type, identity, name.isEmpty() ? defaultInstrumentName(type, identity) : name, r);
    }
    if (instrument) {
        history::Download download;
        download.image = std::span(context.archive.bytes).first(history::imageSize);
        const QDateTime now = QDateTime::currentDateTime();
        download.pcTimeUtc = now.toUTC();
        download.utcOffset_s = now.offsetFromUtc();
        download.programVersion = programVersion;
        download.recordsProven =
            read.outcome == Outcome::ok ? 800 : std::clamp(read.recordsRead, 0, 800);
        download.failures = read.failures;
        if (const auto report = store.store(*instrument, download, r)) {
            out.stored = true;
            out.instrument = instrument->name;
            out.report = *report;
            return out;
        }
    }
    out.error = r.error;
    out.full = r.full;
    return out;
}

void ReadingsHistory::lineChanged() {
    m_asked = false;
    m_identity.reset();
    m_instrumentId = 0;
}

std::int64_t ReadingsHistory::instrumentId(AppContext& context, history::Result& result) {
    if (context.state.portNumber != m_port) {
        lineChanged();
        m_port = context.state.portNumber;
    }
    if (!m_identity && context.lineIdentity && context.lineIdentityPort == m_port) {
        m_identity = context.lineIdentity; // the archive read heard it
    }
    if (!m_identity && !m_asked) {
        m_asked = true;
        m_identity = context.onDevice([&] { return instrument::identify(context.link); });
        if (m_identity) {
            context.lineIdentity = m_identity;
            context.lineIdentityPort = m_port;
        }
    }
    // Without its type an instrument is not told apart from another model's.
    if (!m_identity || !context.state.parametersRead) {
        return 0;
    }
    const int type = context.state.parameters.block.deviceType;
    if (m_instrumentId == 0 || type != m_type) {
        const QByteArray identity = identityBytes(*m_identity);
        const auto known =
            m_store.instrumentFor(type, identity, defaultInstrumentName(type, identity), result);
        m_type = type;
        m_instrumentId = known ? known->id : 0;
    }
    return m_instrumentId;
}

history::Result ReadingsHistory::add(AppContext& context, const live::CurrentData& reading,
                                     const QString& computerTime) {
    history::Result r;
    if (!m_open) {
        r = m_store.open(m_path, true);
        if (!r) {
            return r; // tried again with the next reading
        }
        m_open = true;
    }
    const std::int64_t id = instrumentId(context, r);
    if (!r) {
        return r;
    }
    const live::MainQuantity q = live::mainQuantity(reading.mode);
    history::Reading line;
    line.computerTime = computerTime;
    line.instrumentTime = text::clockText(reading.clock);
    line.measurementCount = reading.measurementCount;
    line.mode = reading.mode;
    line.value = reading.mainValue;
    line.unit = QLatin1String(q.unit);
    line.dose_uSv = reading.doseValue;
    m_store.storeReading(id, line, r);
    return r;
}

} // namespace veltra::app
