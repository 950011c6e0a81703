#include "history/n42_export.h"

#include <QXmlStreamWriter>

#include <map>

namespace veltra::history {

namespace {

constexpr auto n42Namespace = "http://physics.nist.gov/N42/2011/N42";

QString offsetText(int seconds) {
    const int minutes = std::abs(seconds) / 60;
    return QStringLiteral("%1%2:%3")
        .arg(seconds < 0 ? QStringLiteral("-") : QStringLiteral("+"))
        .arg(minutes / 60, 2, 10, QChar('0'))
        .arg(minutes % 60, 2, 10, QChar('0'));
}

std::int64_t secondsOf(const QString& clock) {
    const QDateTime t = QDateTime::fromString(clock, Qt::ISODate);
    return t.isValid() ? QDateTime(t.date(), t.time(), Qt::UTC).toSecsSinceEpoch() : 0;
}

} // namespace

bool writeN42(QIODevice& out, const N42Source& source, N42Report& report) {
    report = {};
    // The duration of each dose-rate record: the logging interval, else the time to the next
    // record of its session, else (the last of a session) the step before it; at least 1 s.
    std::vector<const StoredRecord*> doses;
    for (const StoredRecord& r : source.records) {
        if (r.mode == Mode::doseRate) {
            doses.push_back(&r);
        } else {
            ++report.leftOut;
        }
    }
    std::vector<std::int64_t> durations(doses.size(), 0);
    for (std::size_t k = 0; k < doses.size(); ++k) {
        if (doses[k]->loggingInterval_s && *doses[k]->loggingInterval_s > 0) {
            durations[k] = *doses[k]->loggingInterval_s;
            continue;
        }
        const auto gap = [&](std::size_t a, std::size_t b) -> std::int64_t {
            if (doses[a]->session == 0 || doses[a]->session != doses[b]->session) {
                return 0;
            }
            return secondsOf(doses[b]->time) - secondsOf(doses[a]->time);
        };
        std::int64_t d = k + 1 < doses.size() ? gap(k, k + 1) : 0;
        if (d <= 0 && k > 0) {
            d = gap(k - 1, k);
        }
        durations[k] = std::max<std::int64_t>(1, d);
    }

    QXmlStreamWriter xml(&out);
    xml.setAutoFormatting(true);
    xml.writeStartDocument();
    xml.writeDefaultNamespace(QString::fromLatin1(n42Namespace));
    xml.writeStartElement(QStringLiteral("RadInstrumentData"));
    xml.writeAttribute(QStringLiteral("n42DocUUID"), source.documentUuid);
    xml.writeTextElement(QStringLiteral("RadInstrumentDataCreatorName"), source.creator);

    xml.writeStartElement(QStringLiteral("RadInstrumentInformation"));
    xml.writeAttribute(QStringLiteral("id"), QStringLiteral("instrument"));
    xml.writeTextElement(QStringLiteral("RadInstrumentManufacturerName"),
                         QStringLiteral("Unknown"));
    if (!source.instrument.identity.isEmpty()) {
        xml.writeTextElement(QStringLiteral("RadInstrumentIdentifier"),
                             QString::fromLatin1(source.instrument.identity.toHex()));
    }
    xml.writeTextElement(QStringLiteral("RadInstrumentModelName"),
                         source.modelName.isEmpty() ? QStringLiteral("Unknown") : source.modelName);
    xml.writeTextElement(QStringLiteral("RadInstrumentDescription"), source.instrument.name);
    xml.writeTextElement(QStringLiteral("RadInstrumentClassCode"), QStringLiteral("Dosimeter"));
    xml.writeStartElement(QStringLiteral("RadInstrumentVersion"));
    xml.writeTextElement(QStringLiteral("RadInstrumentComponentName"), QStringLiteral("Software"));
    xml.writeTextElement(QStringLiteral("RadInstrumentComponentVersion"), source.creator);
    xml.writeEndElement();
    xml.writeEndElement();

    xml.writeStartElement(QStringLiteral("RadDetectorInformation"));
    xml.writeAttribute(QStringLiteral("id"), QStringLiteral("detector"));
    xml.writeTextElement(QStringLiteral("RadDetectorCategoryCode"), QStringLiteral("Gamma"));
    xml.writeTextElement(QStringLiteral("RadDetectorKindCode"), QStringLiteral("GMT"));
    xml.writeEndElement();

    // The sessions, first and last time of each, before the measurements that name them.
    std::map<std::int64_t, std::pair<QString, QString>> sessions;
    for (const StoredRecord* r : doses) {
        if (r->session != 0) {
            auto [it, added] = sessions.try_emplace(r->session, r->time, r->time);
            if (!added) {
                it->second.second = r->time;
            }
        }
    }
    for (const auto& [id, span] : sessions) {
        xml.writeStartElement(QStringLiteral("RadMeasurementGroup"));
        xml.writeAttribute(QStringLiteral("id"), QStringLiteral("session-%1").arg(id));
        xml.writeTextElement(
            QStringLiteral("RadMeasurementGroupDescription"),
            QStringLiteral("Session %1 to %2 (instrument's clock)").arg(span.first, span.second));
        xml.writeEndElement();
        ++report.groups;
    }

    for (std::size_t k = 0; k < doses.size(); ++k) {
        const StoredRecord& r = *doses[k];
        const QString id = QStringLiteral("m%1").arg(k + 1);
        xml.writeStartElement(QStringLiteral("RadMeasurement"));
        xml.writeAttribute(QStringLiteral("id"), id);
        if (r.session != 0) {
            xml.writeAttribute(QStringLiteral("radMeasurementGroupReferences"),
                               QStringLiteral("session-%1").arg(r.session));
        }
        xml.writeTextElement(QStringLiteral("MeasurementClassCode"), QStringLiteral("Foreground"));
        xml.writeTextElement(QStringLiteral("StartDateTime"), r.time + offsetText(r.utcOffset_s));
        xml.writeTextElement(QStringLiteral("RealTimeDuration"),
                             QStringLiteral("PT%1S").arg(durations[k]));
        xml.writeStartElement(QStringLiteral("DoseRate"));
        xml.writeAttribute(QStringLiteral("id"), id + QStringLiteral("-dose-rate"));
        xml.writeAttribute(QStringLiteral("radDetectorInformationReference"),
                           QStringLiteral("detector"));
        xml.writeTextElement(QStringLiteral("DoseRateValue"), QString::number(r.value, 'g', 9));
        xml.writeEndElement();
        xml.writeEndElement();
        ++report.measurements;
    }
    xml.writeEndElement();
    xml.writeEndDocument();
    return !xml.hasError();
}

} // namespace veltra::history
