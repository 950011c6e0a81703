// The start-up's scan and the connection menu "Связь" in the window, against the simulated
// instrument through a pseudo-terminal, on the offscreen platform. The modal choice of the
// connection dialog is answered from a timer that the dialog's own event loop runs.
#include "forms/Interface.h"
#include "window_fixture.h"

#include "ui_Interface.h"

#include <QComboBox>
#include <QTimer>
#include <QtTest>

using namespace veltra;
using namespace std::chrono_literals;

class ConnectionTest : public QObject, private testing::WindowFixture {
    Q_OBJECT

private:
    forms::TForm2& dialog() { return *windows->form2; }

    // Answers the next modal choice with a button, after running what the test asks for. The
    // scan runs on the device worker while this thread keeps taking its events, so the timer
    // waits for the choice look: the dialog shown modally, the box shown and the bar hidden.
    void answerChoice(QPushButton* button, std::function<void()> before = {}) {
        auto* timer = new QTimer(&dialog());
        timer->setInterval(5);
        connect(timer, &QTimer::timeout, &dialog(), [this, timer, button, before] {
            if (!dialog().isModal() || dialog().ui().ComboBox1->isHidden()) {
                return;
            }
            timer->stop();
            timer->deleteLater();
            QVERIFY(dialog().ui().ProgressBar1->isHidden());
            QVERIFY(dialog().cancelButton()->isHidden());
            if (before) {
                before();
            }
            button->click();
        });
        timer->start();
    }

    void showAndSettle() {
        form().show();
        form().timer1().stop();
        form().timer3().stop();
    }

private slots:
    void init() { QVERIFY(enter()); }
    void cleanup() { leave(); }

    void startUpFindsTheInstrumentAndListsOnlyItsPort() {
        QVERIFY(start(1, 4, {.instrument = true, .mode = 0, .selected = false}));
        showAndSettle();
        QCOMPARE(context->state.portNumber, std::uint8_t{1});
        QCOMPARE(waits, (std::vector<std::chrono::milliseconds>{2000ms}));
        QVERIFY(dialog().isHidden()); // closed after the scan
        QCOMPARE(dialog().portRowCount(), 1);
        QCOMPARE(dialog().portRowText(0), QStringLiteral("1"));
        QCOMPARE(dialog().ui().ProgressBar1->value(), 1);
        QCOMPARE(form().windowTitle(), QStringLiteral("ТР-403")); // the tables were applied
        QVERIFY(!ui().Edit4->text().isEmpty());                   // the first reading
        QVERIFY(context->state.parametersRead);
        // Beside the number, the device it stands for.
        QCOMPARE(dialog().deviceLineText(), QString::fromStdString(simulator->devicePath()));
    }

    void startUpWithoutAnInstrument_data() {
        QTest::addColumn<int>("language");
        QTest::addColumn<QString>("afterStartUp");
        QTest::addColumn<QString>("afterFirstTick");
        QTest::newRow("no language") << 0 << QString() << QString();
        QTest::newRow("Russian") << 1 << QString() << QStringLiteral("Прибор не обнаружен");
        QTest::newRow("English") << 2 << QStringLiteral("Connection error")
                                 << QStringLiteral("Connection error");
    }

    void startUpWithoutAnInstrument() {
        QFETCH(int, language);
        QFETCH(QString, afterStartUp);
        QFETCH(QString, afterFirstTick);
        QVERIFY(start(language, 4, {.instrument = false, .mode = 0, .selected = false}));
        form().show();
        QCOMPARE(context->state.portNumber, std::uint8_t{0});
        QVERIFY(waits.empty());
        QCOMPARE(form().statusLineText(), afterStartUp);
        // The window keeps its designed (Russian) texts; no parameters were read.
        QCOMPARE(ui().Button7->text(), QStringLiteral("Стереть Архив"));
        QCOMPARE(form().windowTitle(), QStringLiteral("Corvina"));
        QVERIFY(!context->state.parametersRead);
        QVERIFY(form().timer1().isActive());
        form().Timer1Timer();
        QCOMPARE(form().statusLineText(), afterFirstTick);
        QVERIFY(!form().timer1().isActive()); // the cycle stopped itself
    }

    void startUpInTheShortView() {
        QVERIFY(start(1, 4, {.instrument = true, .mode = 1, .selected = false}));
        showAndSettle();
        QVERIFY(windows->form9->isVisible());
        QVERIFY(ui().N21->isChecked());
        QVERIFY(!ui().N3->isChecked());
        QVERIFY(form().isVisible()); // until the first tick
        form().Timer1Timer();
        form().timer1().stop();
        QVERIFY(!form().isVisible());
        QVERIFY(windows->form9->isVisible());
    }

    void returningFromTheShortViewRepeatsTheWholeStartUpUntilAViewCommand() {
        QVERIFY(start(1, 4, {.instrument = true, .mode = 1, .selected = false}));
        showAndSettle(); // Transparent=255: the slider does not move, startupDone stays false
        QVERIFY(!context->state.startupDone);
        form().Timer1Timer(); // the short view: the main window goes
        form().timer1().stop();
        QVERIFY(!form().isVisible());
        form().Label1ContextPopup(); // a right click on the compact window
        form().timer1().stop();
        QCOMPARE(waits.size(), std::size_t{2}); // the port scan ran again
        QVERIFY(!context->state.startupDone);

        form().N21Click(); // a view command sets startupDone
        form().timer1().stop();
        form().Label1ContextPopup();
        form().timer1().stop();
        QCOMPARE(waits.size(), std::size_t{2}); // only the first steps this time
        QVERIFY(form().isVisible());
    }

    void okReopensThePortAlreadySelectedAndAFailureRestartsPollingThreeSecondsLater() {
        QVERIFY(start(1, 4, {.instrument = true, .mode = 0, .selected = false}));
        showAndSettle();
        simulator->unplug(); // the adapter is pulled out
        waits.clear();
        answerChoice(dialog().ui().Button1, [this] {
            dialog().portBox()->setEditText(QStringLiteral("7")); // typed, and not adopted
        });
        form().N13Click();
        QCOMPARE(form().statusLineText(), QStringLiteral("Невозможно открыть порт"));
        QCOMPARE(form().statusLineColour(), QColor(255, 0, 0));
        QVERIFY(ui().Edit4->text().isEmpty()); // the readings are cleared
        QCOMPARE(windows->form9->label1()->text(), QStringLiteral(" Нет связи "));
        QCOMPARE(context->state.portNumber, std::uint8_t{1});
        QVERIFY(waits.empty()); // the device is gone: no open, no wait
        QVERIFY(!form().timer1().isActive());
        QVERIFY(form().timer2().isActive());
        QCOMPARE(form().timer2().interval(), 3000);
        form().Timer2Timer();
        QVERIFY(form().timer1().isActive());
        QVERIFY(!form().timer2().isActive());
    }

    void autoDetectProbesTheRowsAndStartsOver() {
        QVERIFY(start(2, 4, {.instrument = true, .mode = 0, .selected = false}));
        showAndSettle();
        ui().PageControl1->setCurrentWidget(ui().TabSheet1);
        simulator->server().clearRequestLog();
        answerChoice(dialog().ui().Button2);
        form().N13Click();
        QVERIFY(dialog().autoDetectChosen());
        QCOMPARE(context->state.portNumber, std::uint8_t{1});
        QVERIFY(!context->state.parametersRead); // until "Read parameters"
        QCOMPARE(ui().PageControl1->currentWidget(), ui().TabSheet2);
        QVERIFY(form().timer1().isActive());
        // The scan's parameter read, then the probe.
        const auto log = simulator->server().requestLog();
        QVERIFY(log.size() >= 2);
        QCOMPARE(log.back(), (std::vector<std::uint8_t>{0x10, 0x00, 0x14, 0x00, 0x80, 0xA4, 0x67}));
        QCOMPARE(dialog().windowTitle(), QStringLiteral("Connection"));
    }

    void autoDetectRefusesAShortProbeAnswer() {
        QVERIFY(start(1, 4, {.instrument = true, .mode = 0, .selected = false}));
        showAndSettle();
        answerChoice(dialog().ui().Button2, [this] {
            simulator->server().injectFault({sim::FaultKind::truncated, 1, 0});
        });
        form().N13Click();
        QCOMPARE(context->state.portNumber, std::uint8_t{0});
        QCOMPARE(form().statusLineText(), QStringLiteral("Ошибка связи"));
        QVERIFY(form().timer1().isActive());
        form().Timer1Timer(); // polling stops at once: no port
        QCOMPARE(form().statusLineText(), QStringLiteral("Прибор не обнаружен"));
        QVERIFY(!form().timer1().isActive());
    }

    void theSearchLabelTellsTheScanInTheLanguage() {
        QVERIFY(start(2, 4, {.instrument = true, .mode = 0, .selected = false}));
        showAndSettle();
        answerChoice(dialog().ui().Button1, [this] {
            QCOMPARE(dialog().ui().Label2->text(), QStringLiteral("Searching..."));
        });
        form().N13Click();
        // "ОК" reopened the port the scan found; the scan's parameter read told its result.
        QCOMPARE(form().statusLineText(), QStringLiteral("Read OK"));
        QVERIFY(!context->state.parametersRead);
        QVERIFY(form().timer1().isActive());
    }

    // The scan runs on the device worker: the window keeps its events, the commands that would
    // start another operation are disabled, and "Отмена" or Esc ends it as a scan that found
    // nothing, within the wait under way.
    [[nodiscard]] std::vector<QAbstractButton*> deviceCommands() {
        return {ui().Button1, ui().Button7, ui().Button14, ui().Button6,
                ui().Button8, ui().Button3, ui().Button4};
    }
    void cancelEndsTheScanAsOneThatFoundNothing_data() {
        QTest::addColumn<bool>("escape");
        QTest::newRow("Отмена") << false;
        QTest::newRow("Esc") << true;
    }
    void cancelEndsTheScanAsOneThatFoundNothing() {
        QFETCH(bool, escape);
        QVERIFY(start(1, 4, {.instrument = true, .mode = 0, .selected = false}));
        showAndSettle();
        // The 2-second wait after the port opened is slept this time, as the program sleeps it.
        context->sleep = [this](std::chrono::milliseconds d) {
            const auto until = std::chrono::steady_clock::now() + d;
            while (!context->link.interrupted() && std::chrono::steady_clock::now() < until) {
                QThread::msleep(10);
            }
        };
        simulator->server().clearRequestLog();
        bool cancelled = false;
        QTimer cancel;
        cancel.setInterval(5);
        connect(&cancel, &QTimer::timeout, this, [&] {
            if (!dialog().cancelButton()->isVisible() || cancelled) {
                return;
            }
            cancelled = true;
            QVERIFY(dialog().cancelButton()->isEnabled());
            QCOMPARE(dialog().cancelButton()->text(), QStringLiteral("Отмена"));
            QVERIFY(!ui().MainMenu1->isEnabled());
            // Whatever would start device work, on every tab.
            for (QAbstractButton* b : deviceCommands()) {
                QVERIFY2(!b->isEnabled(), qPrintable(b->objectName()));
            }
            QVERIFY(!form().timer1().isActive());
            if (escape) {
                QTest::keyClick(&dialog(), Qt::Key_Escape);
            } else {
                dialog().cancelButton()->click();
            }
            QVERIFY(!dialog().cancelButton()->isEnabled());
        });
        cancel.start();
        answerChoice(dialog().ui().Button1);
        form().N13Click();
        QVERIFY(cancelled);
        // Nothing was asked of the instrument, no row found; "ОК" reopened the port selected.
        QVERIFY(simulator->server().requestLog().empty());
        QCOMPARE(dialog().portRowCount(), 0);
        QCOMPARE(context->state.portNumber, std::uint8_t{1});
        QVERIFY(ui().MainMenu1->isEnabled());
        for (QAbstractButton* b : deviceCommands()) {
            QVERIFY2(b->isEnabled(), qPrintable(b->objectName()));
        }
        QVERIFY(form().timer1().isActive());
        QVERIFY(!context->link.interrupted());
    }
};

QTEST_MAIN(ConnectionTest)
#include "connection_test.moc"
