// No text is cut: every label, button, check box, radio button, group title, tab, grid heading
// and cell, list item, status panel and About text of every window, in both languages and for
// every instrument type, and the widest texts the readings and the status line can produce, fit
// their controls in the fonts in use; labels side by side do not run into each other.
#include "app/parameters_tab.h"
#include "forms/About.h"
#include "forms/About_eng.h"
#include "forms/Interface.h"
#include "forms/fonts.h"
#include "live/presentation.h"
#include "text/duration.h"
#include "text_fit.h"
#include "window_fixture.h"

#include "ui_Interface.h"

#include <QtTest>

#include <cstdio>

using namespace veltra;
using text::Language;

namespace {

// Labels and check boxes of one parent that share a line must not overlap where their texts
// are drawn, and stand at least a blank's width apart.
constexpr int minimumGap = 3;
void checkOverlaps(QWidget* parent, const QString& where, QList<testing::Offence>& out) {
    struct Ink {
        QWidget* widget;
        QRect rect;
    };
    std::vector<Ink> inks;
    for (QWidget* w : parent->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (w->isHidden()) {
            continue;
        }
        QString text;
        if (auto* label = qobject_cast<QLabel*>(w)) {
            text = label->text();
        } else if (auto* box = qobject_cast<QCheckBox*>(w)) {
            text = box->text();
        }
        if (text.trimmed().isEmpty()) {
            continue;
        }
        const int width = QFontMetrics(w->font()).horizontalAdvance(text);
        const QRect r = w->geometry();
        const auto* label = qobject_cast<QLabel*>(w);
        const bool right = label != nullptr && (label->alignment() & Qt::AlignRight);
        const int left =
            right ? r.right() - width : r.left() + (label ? label->contentsRect().left() : 20);
        inks.push_back({w, QRect(left, r.top(), width, r.height())});
    }
    for (std::size_t i = 0; i < inks.size(); ++i) {
        for (std::size_t j = i + 1; j < inks.size(); ++j) {
            const QRect a = inks[i].rect;
            const QRect b = inks[j].rect;
            const bool sameLine = a.top() < b.bottom() && b.top() < a.bottom();
            // At least a blank's width between texts, or two words read as one.
            if (sameLine && a.adjusted(-minimumGap, 0, minimumGap, 0).intersects(b)) {
                out.push_back({where + u' ' + inks[i].widget->objectName() + u'/' +
                                   inks[j].widget->objectName(),
                               QStringLiteral("overlap"), a.right(), b.left()});
            }
        }
    }
}

} // namespace

class LayoutTest : public QObject, private testing::WindowFixture {
    Q_OBJECT

private:
    QList<testing::Offence> offences;

    void check(QWidget* window, const QString& where) {
        testing::TextFit fit(where);
        fit.check(window);
        offences += fit.offences();
    }

    QString where(int type, Language language) {
        return QStringLiteral("[type %1 %2]")
            .arg(type)
            .arg(language == Language::english ? "en" : "ru");
    }

    // The widest texts a redraw can put into the results tab, the status bar and the compact
    // window, for each measuring mode.
    void widestReadings(Language language, const QString& at) {
        const QChar separator = '.';
        for (const std::uint8_t mode : {0, 1, 2, 4, 5}) {
            live::CurrentData reading;
            reading.mode = mode;
            reading.mainValue = 999.96; // "1000.0" in the micro unit
            reading.doseValue = 999.96;
            reading.errorPercent = 9999.0;
            reading.workingTime = 2147471940; // 24854 days 23 h 59 min: the widest duration
            reading.doseTime = 2147471940;
            reading.measurementCount = 4294967295U;
            reading.statusFlags = 0x04; // charging: the longer battery text
            live::ThresholdsInEffect thresholds{1, {999.99, 0, 0}, 1, {999.99, 0, 0}};
            form().applyReadings(live::presentReadings(reading, thresholds, language, separator));
            checkOverlaps(ui().Panel1, at + QStringLiteral(" mode %1").arg(mode), offences);
            check(&form(), at + QStringLiteral(" mode %1").arg(mode));
            check(windows->form9.get(), at + QStringLiteral(" compact, mode %1").arg(mode));
            checkOverlaps(windows->form9.get(), at + QStringLiteral(" compact, mode %1").arg(mode),
                          offences);
        }
        // A reading out of every range still shows whole (the box's font gives way).
        live::CurrentData broken;
        broken.mainValue = -12345678.9;
        broken.doseValue = 6.8e38;
        form().applyReadings(live::presentReadings(broken, {}, language, separator));
        check(&form(), at + QStringLiteral(" out of range"));
    }

    void statusMessages(Language language, const QString& at) {
        const std::vector<app::StatusMessage> messages = {
            app::status::noInstrument,
            app::status::portOpenError,
            app::status::connectionError,
            app::status::reading,
            app::status::readOk,
            app::status::writeOk,
            app::status::noParameters,
            app::status::archivePortOpenError,
            app::cellErrorMessage({true, 2, QStringLiteral("a very long text typed into a cell")}),
            {app::status::fileNotWritten.russian.arg(QStringLiteral("сеанс123.txt"),
                                                     QStringLiteral("No space left on device")),
             app::status::fileNotWritten.english.arg(QStringLiteral("сеанс123.txt"),
                                                     QStringLiteral("No space left on device"))},
            {app::status::linesNotWritten.russian.arg("archive.txt", "799", "799",
                                                      "No space left on device"),
             app::status::linesNotWritten.english.arg("archive.txt", "799", "799",
                                                      "No space left on device")},
            {app::status::charactersReplaced.russian.arg("сеанс123.txt", "12"),
             app::status::charactersReplaced.english.arg("сеанс123.txt", "12")},
            {app::status::logOn.russian.arg("/home/surveyor/Veltra/readings"),
             app::status::logOn.english.arg("/home/surveyor/Veltra/readings")},
            app::status::logOff,
            {app::status::logNotWritten.russian.arg("readings-2026-12-09.csv", "Disk full"),
             app::status::logNotWritten.english.arg("readings-2026-12-09.csv", "Disk full")},
        };
        for (const auto& m : messages) {
            form().showStatus(app::StatusColour::red, m);
            check(&form(), at + QStringLiteral(" status \"%1\"").arg(m.in(language)));
            // Elided or not, the whole message is there to read.
            const QString shownText = ui().StatusPanel0->text();
            const QString whole = m.in(language);
            if (shownText != whole && ui().StatusPanel0->toolTip() != whole) {
                offences.push_back({at + QStringLiteral(" StatusPanel0 tooltip"), whole, 0, 0});
            }
        }
    }

private slots:
    void init() { QVERIFY(enter()); }
    void cleanup() { leave(); }

    void noTextIsCut_data() {
        QTest::addColumn<int>("type");
        QTest::addColumn<int>("language");
        for (int type = 1; type <= 7; ++type) {
            for (const int language : {1, 2}) {
                QTest::addRow("type %d %s", type, language == 1 ? "ru" : "en") << type << language;
            }
        }
    }

    void noTextIsCut() {
        QFETCH(int, type);
        QFETCH(int, language);
        offences.clear();
        QVERIFY(start(language, type, {.instrument = true, .mode = 0, .selected = false}));
        form().show();
        form().timer1().stop();
        form().timer3().stop();
        const Language lang = text::languageFromCode(language);
        const QString at = where(type, lang);

        check(&form(), at);
        checkOverlaps(ui().centralwidget, at + QStringLiteral(" captions"), offences);
        checkOverlaps(ui().TabSheet5, at + QStringLiteral(" parameters"), offences);
        checkOverlaps(ui().GroupBox1, at + QStringLiteral(" archive group"), offences);
        checkOverlaps(ui().TabSheet1, at + QStringLiteral(" archive"), offences);

        // The archive tab after a read, at a session of each kind.
        form().Button1Click();
        for (int step = 0; step < 3; ++step) {
            check(&form(), at + QStringLiteral(" archive session %1").arg(step + 1));
            form().BitBtn11Click();
        }

        // The connection dialog in its choice look, with a device line.
        auto& dialog = *windows->form2;
        dialog.ui().ComboBox1->show();
        dialog.ui().Button1->show();
        dialog.ui().Button2->show();
        dialog.ui().DeviceLabel->show();
        dialog.ui().Label2->show();
        check(&dialog, at + QStringLiteral(" dialog"));

        // The About windows with their version line.
        windows->form3->setVersionLineVisible(true);
        windows->form4->setVersionLineVisible(true);
        windows->form3->setSoftwareVersion(-128);
        windows->form4->setSoftwareVersion(-128);
        check(windows->form3.get(), at + QStringLiteral(" About"));
        check(windows->form4.get(), at + QStringLiteral(" About_eng"));

        widestReadings(lang, at);
        statusMessages(lang, at);
        if (!offences.isEmpty()) {
            std::fprintf(stderr, "%s\n", qPrintable(testing::describe(offences)));
        }
        QVERIFY2(
            offences.isEmpty(),
            qPrintable(QStringLiteral("%1 texts do not fit (listed above)").arg(offences.size())));
    }

    // The layout's fonts resolve to the faces whose widths match the designed ones (the
    // originals on Windows), and the forms' point sizes become the designed pixel sizes.
    void fontsMatchTheLayout() {
        QVERIFY(start(1, 4, {.instrument = true, .mode = 0, .selected = false}));
        struct Case {
            forms::Typeface face;
            QStringList accepted;
        };
        const std::vector<Case> cases = {
            {forms::Typeface::interface, {"MS Sans Serif", "Microsoft Sans Serif", "Tahoma"}},
            {forms::Typeface::arial, {"Arial", "Liberation Sans"}},
            {forms::Typeface::calibri, {"Calibri", "Carlito"}},
        };
        for (const Case& c : cases) {
            const QString family = QFontInfo(forms::programFont(c.face, 11)).family();
            QVERIFY2(c.accepted.contains(family), qPrintable(family));
        }
        QCOMPARE(QApplication::font().pixelSize(), 11);
        QCOMPARE(ui().Label12->font().pixelSize(), 12); // bold 12-pixel captions
        QVERIFY(ui().Label12->font().bold());
        QCOMPARE(QFontInfo(ui().Edit4->font()).family(),
                 QFontInfo(forms::programFont(forms::Typeface::arial, 19)).family());
        QVERIFY(ui().Edit4->font().italic());
    }

    // The version number follows the version line's text: "Версия ПО дозиметра - 0.14", not a
    // number standing apart or drawn under the text; the picture is the program's icon, and
    // every window carries the icon.
    void aboutWindowsReadAsOne() {
        QVERIFY(start(1, 4, {.instrument = true, .mode = 0, .selected = false}));
        for (QDialog* about : {static_cast<QDialog*>(windows->form3.get()),
                               static_cast<QDialog*>(windows->form4.get())}) {
            for (const int version : {14, -128, 0}) {
                if (about == windows->form3.get()) {
                    windows->form3->setSoftwareVersion(version);
                } else {
                    windows->form4->setSoftwareVersion(version);
                }
                const auto* line = about->findChild<QLabel*>(QStringLiteral("Label3"));
                const auto* number = about->findChild<QLabel*>(QStringLiteral("Label4"));
                const int textEnd =
                    line->x() + line->contentsRect().left() +
                    QFontMetrics(line->font()).horizontalAdvance(line->text().trimmed());
                QCOMPARE(number->x() + number->contentsRect().left(), textEnd);
                QCOMPARE(number->y(), line->y());
                QVERIFY(number->contentsRect().width() >=
                        QFontMetrics(number->font()).horizontalAdvance(number->text()));
                QVERIFY(number->geometry().right() < about->width());
            }
            const auto* picture = about->findChild<QLabel*>(QStringLiteral("Image1"));
            QVERIFY(!picture->pixmap().isNull());
            // Drawn, not blank: some pixels of the picture are opaque.
            const QImage image = picture->pixmap().toImage();
            QVERIFY(image.pixelColor(image.width() / 2, image.height() / 2).alpha() > 0);
        }
        QVERIFY(!QApplication::windowIcon().isNull());
        for (QWidget* w : std::initializer_list<QWidget*>{
                 &form(), windows->form2.get(), windows->form3.get(), windows->form9.get()}) {
            QVERIFY(!w->windowIcon().isNull());
        }
    }
};

QTEST_MAIN(LayoutTest)
#include "layout_test.moc"
