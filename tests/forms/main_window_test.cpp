// The main window against the simulated instrument through a pseudo-terminal, on the offscreen
// platform: the polling cycle, the readings, the status line, the live chart and the settings.
#include "app/text_tables.h"
#include "forms/parameters_binding.h"
#include "window_fixture.h"

#include "history/history_store.h"

#include <qcustomplot.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QTableWidget>
#include <QTimer>
#include <QtTest>

#include <sys/stat.h>

using namespace veltra;
using namespace std::chrono_literals;

class MainWindowTest : public QObject, private testing::WindowFixture {
    Q_OBJECT

private:
    void start(int language = 1) { QVERIFY(testing::WindowFixture::start(language)); }

    void setMeasurement(std::uint32_t count, double mainValue) {
        simulator->model().pinMeasurementCount(count);
        simulator->model().pinMainValue(mainValue);
    }

private slots:
    void init() { QVERIFY(enter()); }
    void cleanup() { leave(); }

    void windowsCarryTheirNamesAndSizes() {
        start();
        QCOMPARE(form().windowTitle(), QStringLiteral("Corvina"));
        QCOMPARE(ui().centralwidget->size(), QSize(848, 482));
        for (const char* name :
             {"Edit4",     "Edit10",      "Edit1",       "Label12",      "Label34",
              "Label39",   "StringGrid1", "StringGrid3", "StringGrid4",  "StringGrid8",
              "ComboBox9", "BitBtn10",    "TrackBar1",   "TrackBar2",    "Chart2",
              "Chart5",    "Button2",     "GroupBox1",   "ProgressBar2", "Edit2"}) {
            QVERIFY2(form().findChild<QWidget*>(name) != nullptr, name);
        }
        QCOMPARE(ui().Panel1->geometry(), QRect(8, 5, 825, 63));
        QCOMPARE(ui().Chart2->geometry(), QRect(32, 8, 785, 321));
        QCOMPARE(ui().Edit4->geometry(), QRect(64, 24, 121, 31));
        QVERIFY(ui().Image1->isHidden());
        QVERIFY(form().timer1().isActive()); // enabled at creation
    }

    // The text tables and the parameters tab's state name controls by objectName; a name that
    // resolves to nothing would be skipped silently by the code that applies them.
    void everyNameTheCodeLooksUpIsAControl() {
        start();
        QStringList missing;
        for (const app::TextRow& row : app::mainWindowTexts()) {
            const QLatin1String name(row.control);
            if (form().findChild<QAction*>(name) == nullptr &&
                form().findChild<QMenu*>(name) == nullptr &&
                form().findChild<QWidget*>(name) == nullptr) {
                missing << name;
            }
        }
        for (const app::GridHeading& heading : app::gridHeadings()) {
            auto* grid = form().findChild<QTableWidget*>(QLatin1String(heading.grid));
            if (grid == nullptr || grid->item(heading.row, heading.column) == nullptr) {
                missing << QStringLiteral("%1(%2,%3)")
                               .arg(heading.grid)
                               .arg(heading.column)
                               .arg(heading.row);
            }
        }
        for (int i = 0; i < app::tabControlCount; ++i) {
            const char* name = forms::tabControlObjectName(static_cast<app::TabControl>(i));
            if (form().findChild<QWidget*>(QLatin1String(name)) == nullptr) {
                missing << name;
            }
        }
        QVERIFY2(missing.isEmpty(), qPrintable(missing.join(u' ')));
    }

    void noPortPaintsTheMessageAndStops() {
        start();
        context->state.portNumber = 0;
        form().Timer1Timer();
        QCOMPARE(form().statusLineText(), QStringLiteral("Прибор не обнаружен"));
        QCOMPARE(form().statusLineColour(), QColor(255, 0, 0));
        QVERIFY(!form().timer1().isActive());
    }

    void newMeasurementFillsTheReadouts() {
        start();
        setMeasurement(517, 0.142);
        tick();
        QCOMPARE(form().statusLineText(), QStringLiteral("Чтение"));
        QCOMPARE(form().statusLineColour(), QColor(0, 0, 0));
        QCOMPARE(ui().Edit4->text(), QStringLiteral("0.142"));
        QCOMPARE(ui().Label34->text(), QStringLiteral("мкЗв/ч"));
        QCOMPARE(ui().Label34->x(), 170);
        QCOMPARE(ui().StatusPanel3->text(), QStringLiteral(" 517"));
        // The start-up parameter read put the instrument's thresholds in effect.
        QCOMPARE(ui().StatusPanel4->text(), QStringLiteral(" 0.3 мкЗв/ч"));
        QVERIFY(!ui().Image1->isHidden());
        QCOMPARE(windows->form9->label1()->text(), QStringLiteral(" 0.14"));
        QCOMPARE(form().liveSeries().size(), std::size_t{1});
        QVERIFY(ui().Chart2->xAxis->tickLabels());
    }

    void sameCountTwiceDoesNotRedraw() {
        start();
        setMeasurement(40, 0.2);
        tick();
        QCOMPARE(ui().Edit4->text(), QStringLiteral("0.200"));
        setMeasurement(40, 0.9);
        tick();
        QCOMPARE(ui().Edit4->text(), QStringLiteral("0.200"));
        QCOMPARE(form().liveSeries().size(), std::size_t{1});
        // A requested redraw shows the same count again.
        form().pollingCycle().state().redrawRequested = true;
        tick();
        QCOMPARE(ui().Edit4->text(), QStringLiteral("0.900"));
        QCOMPARE(form().liveSeries().size(), std::size_t{2});
    }

    void fourthFailureInARowShowsTheError() {
        start();
        setMeasurement(1, 0.1);
        tick();
        const QString shown = ui().Edit4->text();
        simulator->server().injectFault({sim::FaultKind::badHeaderCrc, 4, 0});
        for (int failure = 1; failure <= 3; ++failure) {
            setMeasurement(static_cast<std::uint32_t>(1 + failure), 5.0);
            tick();
            QCOMPARE(form().statusLineText(), QStringLiteral("Чтение"));
        }
        tick();
        QCOMPARE(form().statusLineText(), QStringLiteral("Ошибка связи"));
        QCOMPARE(form().statusLineColour(), QColor(255, 0, 0));
        QCOMPARE(ui().Edit4->text(), shown); // the readings stay as they were
        tick();
        QCOMPARE(form().statusLineText(), QStringLiteral("Чтение"));
        QCOMPARE(form().pollingCycle().state().readFailureCount, 0);
    }

    void clockMoreThan300SecondsOffIsWrittenAtTheNextTick() {
        start();
        simulator->model().setClockOffset(300s);
        setMeasurement(1, 0.1);
        tick();
        QVERIFY(!form().pollingCycle().state().clockSyncPending);

        simulator->model().setClockOffset(301s);
        setMeasurement(2, 0.1);
        tick();
        QVERIFY(form().pollingCycle().state().clockSyncPending);

        const auto before = simulator->server().stats();
        tick(); // the clock write instead of a poll
        QVERIFY(sim::Simulator::waitFor(
            [&] { return simulator->server().stats().writes == before.writes + 1; }, 5s));
        QCOMPARE(simulator->server().stats().reads, before.reads);
        QVERIFY(!form().pollingCycle().state().clockSyncPending);
        QCOMPARE(simulator->model().clockOffset(), 0s);
        const auto frame = simulator->server().requestLog().back();
        QCOMPARE(frame.size(), std::size_t{15});
        QCOMPARE(frame[0], std::uint8_t{0xBB});

        setMeasurement(3, 0.1);
        tick(); // polls normally again
        QCOMPARE(simulator->server().stats().reads, before.reads + 1);
    }

    void modeChangeToBetaRestartsTheChart() {
        start();
        setMeasurement(1, 0.3);
        tick();
        setMeasurement(2, 0.35);
        tick();
        QCOMPARE(form().liveSeries().size(), std::size_t{2});
        QVERIFY(ui().Chart2->yAxis->range().upper > 0.39);

        simulator->model().setMode(2);
        setMeasurement(3, 0.25);
        tick();
        // Emptied by the restart, then the new reading's point.
        QCOMPARE(form().liveSeries().size(), std::size_t{1});
        QCOMPARE(ui().Chart2->yAxis->label(), QStringLiteral("Бета, 1/(мин*см2)"));
        QCOMPARE(form().pollingCycle().state().chartMaximum, 0.25);
        QCOMPARE(ui().Label12->text(), QStringLiteral("Бета,"));
    }

    void earlierClockTimeLandsInTimeOrder() {
        start();
        setMeasurement(1, 0.25);
        tick();
        simulator->model().setClockOffset(-120s); // the instrument's clock was set back
        setMeasurement(2, 0.5);
        tick();
        const auto& points = form().liveSeries().points();
        QCOMPARE(points.size(), std::size_t{2});
        QVERIFY(points[0].key < points[1].key);
        QCOMPARE(points[0].value, 0.5);
        QCOMPARE(points[1].key - points[0].key, 120.0);
        // The chart holds them in the same order.
        QCOMPARE(form().series1()->data()->at(0)->value, 0.5);
    }

    void readingsOfZeroAreNotCharted() {
        start();
        setMeasurement(1, 0.0);
        tick();
        QCOMPARE(form().liveSeries().size(), std::size_t{0});
        QCOMPARE(form().pollingCycle().state().chartMaximum, 0.0);
        setMeasurement(2, 3.5);
        tick();
        QCOMPARE(ui().Chart2->yAxis->range().upper, 4.0);
        form().Button5Click();
        QCOMPARE(form().liveSeries().size(), std::size_t{0});
        QCOMPARE(ui().Chart2->yAxis->range().upper, 0.5);
        QCOMPARE(form().pollingCycle().state().chartMaximum, 0.0);
    }

    void englishReadingsAndNoMessagesWithoutALanguage() {
        start(2);
        setMeasurement(1, 1500);
        tick();
        QCOMPARE(ui().Edit4->text(), QStringLiteral("1.500"));
        QCOMPARE(ui().Label34->text(), QStringLiteral("mSv/h"));
        QCOMPARE(form().statusLineText(), QStringLiteral("Reading"));

        cleanup();
        init();
        start(0);
        setMeasurement(1, 0.5);
        tick();
        QVERIFY(form().statusLineText().isEmpty());
        QVERIFY(ui().Edit4->text().isEmpty());
        QCOMPARE(ui().StatusPanel3->text(), QStringLiteral(" 1"));
    }

    void exitKeepsAForeignSectionByteForByte() {
        start();
        const QByteArray foreign = "[Ports]\r\nCOM7=/dev/rfcomm0\r\n; kept\r\n\r\n";
        QVERIFY(writeSettings(foreign + "[Common]\r\nLanguage=1\r\nTransparent=255\r\nMode=0\r\n"));
        form().English1Click();
        ui().TrackBar1->setValue(120);
        QSignalSpy quit(&form(), &forms::TForm1::quitRequested);
        form().N8Click();
        QCOMPARE(quit.count(), 1);
        QFile file(settingsPath());
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(),
                 foreign + "[Common]\r\nLanguage=2\r\nTransparent=120\r\nMode=0\r\n");
    }

    void exitThatCannotSaveTellsAndStillEnds() {
        start(2);
        // prog.ini that cannot be read (a directory of that name): it is never overwritten.
        QVERIFY(QFile::remove(settingsPath()));
        QVERIFY(QDir().mkdir(settingsPath()));
        QString told;
        auto* timer = new QTimer(&form());
        timer->setSingleShot(true);
        timer->setInterval(0);
        connect(timer, &QTimer::timeout, &form(), [&told] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            QVERIFY(box != nullptr);
            QCOMPARE(box->objectName(), QStringLiteral("SettingsNotSaved"));
            told = box->text();
            box->button(QMessageBox::Ok)->click();
        });
        timer->start();
        QSignalSpy quit(&form(), &forms::TForm1::quitRequested);
        form().N8Click();
        QCOMPARE(quit.count(), 1);
        QVERIFY(told.startsWith(QStringLiteral("The settings could not be saved")));
        QVERIFY(QFileInfo(settingsPath()).isDir());
        QVERIFY(QDir().rmdir(settingsPath()));
    }

    void firstStartTakesTheLanguageOfTheLocaleAndAFifoIsNeverWaitedOn() {
        // No prog.ini at all: the user's locale says the language, so the readings show.
        QVERIFY(testing::WindowFixture::start(0, 4, {.settings = false}));
        const auto expected = QLocale::system().language() == QLocale::Russian
                                  ? app::Language::russian
                                  : app::Language::english;
        QCOMPARE(context->state.language, expected);
        setMeasurement(1, 0.5);
        tick();
        QVERIFY(!ui().Edit4->text().isEmpty());
        QVERIFY(!form().statusLineText().isEmpty());

        // A FIFO named prog.ini: the windows start (no open waits for a writer) as without a
        // file, and "Выход" says the settings could not be saved rather than replace it.
        cleanup();
        init();
        QVERIFY(::mkfifo(QFile::encodeName(settingsPath()).constData(), 0600) == 0);
        QVERIFY(testing::WindowFixture::start(0, 4, {.settings = false}));
        QCOMPARE(context->state.language, expected);
        auto* timer = new QTimer(&form());
        timer->setSingleShot(true);
        timer->setInterval(0);
        connect(timer, &QTimer::timeout, &form(), [] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            QVERIFY(box != nullptr);
            box->button(QMessageBox::Ok)->click();
        });
        timer->start();
        form().N8Click();
        struct stat info {};
        QVERIFY(::stat(QFile::encodeName(settingsPath()).constData(), &info) == 0);
        QVERIFY(S_ISFIFO(info.st_mode));
        QVERIFY(QFile::remove(settingsPath())); // the next tests write a prog.ini of their own
    }

    void theReadingsLogWritesALinePerNewMeasurementAndIsKept() {
        start(2);
        const QString folder = QDir(QFileInfo(settingsPath()).absolutePath()).filePath("readings");
        const QString file = QDir(folder).filePath(
            QStringLiteral("readings-%1.csv").arg(QDate::currentDate().toString(Qt::ISODate)));
        // As the start-up's parameter read leaves it: the model is known.
        context->state.parametersRead = true;
        context->state.parameters.block.deviceType = 4;
        setMeasurement(7, 0.5);
        tick();
        QVERIFY(!QFile::exists(file)); // off until asked
        ui().LogReadings->trigger();
        QVERIFY(ui().LogReadings->isChecked());
        QCOMPARE(form().statusLineText(),
                 QStringLiteral("Logging readings to %1").arg(QDir::toNativeSeparators(folder)));
        tick(); // the same measurement: no line
        setMeasurement(8, 0.5);
        tick();
        tick();
        setMeasurement(9, 0.75);
        tick();
        QFile csv(file);
        QVERIFY(csv.open(QIODevice::ReadOnly));
        const QStringList lines = QString::fromUtf8(csv.readAll()).split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 3); // the header, measurements 8 and 9
        QVERIFY(lines[0].startsWith("computer_time,instrument_time,measurement_count"));
        QCOMPARE(lines[1].section(',', 2, 5), QStringLiteral("8,0.5,dose rate,uSv/h"));
        QCOMPARE(lines[2].section(',', 2, 3), QStringLiteral("9,0.75"));
        // And into the history beside prog.ini, once each, under the instrument the two identity
        // probes of the first logged reading named.
        history::HistoryStore store;
        QVERIFY(store.open(form().historyPath(), false).ok());
        QCOMPARE(store.connection().integer("SELECT count(*) FROM readings"),
                 std::optional<std::int64_t>(2));
        QCOMPARE(store.connection().integer(
                     "SELECT count(*) FROM readings WHERE measurement_count = 8 AND instrument_id "
                     "= (SELECT id FROM instruments WHERE device_type = 4)"),
                 std::optional<std::int64_t>(1));
        // Kept in prog.ini's section of its own, for the next start; [Common] untouched.
        QFile ini(settingsPath());
        QVERIFY(ini.open(QIODevice::ReadOnly));
        const QByteArray saved = ini.readAll();
        QVERIFY(saved.contains("[Log]\r\nReadings=1\r\n"));
        QVERIFY(saved.startsWith("[Common]\r\nLanguage=2\r\nTransparent=255\r\nMode=0\r\n"));
        ui().LogReadings->trigger();
        setMeasurement(10, 0.75);
        tick();
        csv.seek(0);
        QCOMPARE(csv.readAll().count('\n'), 3);
    }

    void compactWindowDragsOnEveryThirdMove() {
        start();
        auto* compact = windows->form9.get();
        QLabel* label = compact->label1();
        const auto send = [&](QEvent::Type type, QPoint at, Qt::MouseButtons buttons) {
            QMouseEvent event(type, QPointF(at), label->mapToGlobal(QPointF(at)), Qt::LeftButton,
                              buttons, Qt::NoModifier);
            QCoreApplication::sendEvent(label, &event);
        };
        compact->move(100, 100);
        send(QEvent::MouseButtonPress, {5, 5}, Qt::LeftButton);
        int moves = 0;
        QPoint last = compact->pos();
        for (int i = 0; i < 10; ++i) {
            send(QEvent::MouseMove, {6, 7}, Qt::LeftButton); // one pixel right, two down
            if (compact->pos() != last) {
                ++moves;
                last = compact->pos();
            }
        }
        QCOMPARE(moves, 4); // the 1st, 4th, 7th and 10th move events
        QCOMPARE(compact->pos(), QPoint(104, 108));
        send(QEvent::MouseButtonRelease, {6, 7}, Qt::NoButton);
        send(QEvent::MouseButtonPress, {5, 5}, Qt::LeftButton);
        send(QEvent::MouseMove, {6, 5}, Qt::LeftButton); // a new drag moves at once
        QCOMPARE(compact->pos(), QPoint(105, 108));
    }

    void compactWindowDoubleClickSavesTheShortView() {
        start();
        ui().TrackBar1->setValue(120); // the preview pauses the polling cycle
        QVERIFY(!form().timer1().isActive());
        QVERIFY(form().timer3().isActive());
        QVERIFY(context->state.startupDone);
        QSignalSpy quit(&form(), &forms::TForm1::quitRequested);
        QLabel* label = windows->form9->label2();
        QMouseEvent click(QEvent::MouseButtonDblClick, QPointF(2, 2),
                          label->mapToGlobal(QPointF(2, 2)), Qt::LeftButton, Qt::LeftButton,
                          Qt::NoModifier);
        QCoreApplication::sendEvent(label, &click);
        QCOMPARE(quit.count(), 1);
        QFile file(settingsPath());
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(),
                 QByteArray("[Common]\r\nLanguage=1\r\nTransparent=120\r\nMode=1\r\n"));
    }

    // The preview of the transparency slider ends after its pause in the full view, with or
    // without an instrument; in the short view the compact window stays.
    void previewEndsAfterItsPause_data() {
        QTest::addColumn<bool>("instrument");
        QTest::addColumn<int>("mode");
        QTest::addColumn<bool>("compactStays");
        QTest::newRow("instrument, full view") << true << 0 << false;
        QTest::newRow("no instrument, full view") << false << 0 << false;
        QTest::newRow("instrument, short view") << true << 1 << true;
    }

    void previewEndsAfterItsPause() {
        QFETCH(bool, instrument);
        QFETCH(int, mode);
        QFETCH(bool, compactStays);
        QVERIFY(testing::WindowFixture::start(
            1, 4, {.instrument = instrument, .mode = mode, .selected = instrument}));
        ui().TrackBar1->setValue(ui().TrackBar1->value() == 120 ? 130 : 120);
        QVERIFY(windows->form9->isVisible());
        form().Timer3Timer();
        tick();
        QCOMPARE(windows->form9->isVisible(), compactStays);
    }

    void statusLineSurvivesARepaint() {
        start();
        setMeasurement(1, 0.1);
        tick();
        ui().StatusBar1->repaint();
        QCOMPARE(form().statusLineText(), QStringLiteral("Чтение"));
    }
};

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
