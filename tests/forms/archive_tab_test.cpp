// The archive tab in the window against the simulated instrument through a pseudo-terminal, on
// the offscreen platform: the read, the session arrows with wrap-around, "Сохранить в файле",
// the date format, the chart's navigation, and the erase with its question.
#include "text_fit.h"
#include "window_fixture.h"

#include "archive/archive_image.h"
#include "forms/history_window.h"
#include "history/history_store.h"

#include <qcustomplot.h>

#include <QApplication>
#include <QMessageBox>
#include <QTabBar>
#include <QTimer>
#include <QtTest>

#include <set>

using namespace veltra;

class ArchiveTabTest : public QObject, private testing::WindowFixture {
    Q_OBJECT

private:
    QString cell(int row, int column) { return ui().StringGrid8->item(row, column)->text(); }
    QString stat(int row) { return ui().StringGrid3->item(row, 1)->text(); }
    QCPRange timeRange() { return ui().Chart5->xAxis->range(); }

    // Answers the next question box with the button whose text is given.
    void answerQuestion(const QString& buttonText) {
        auto* timer = new QTimer(this);
        timer->setSingleShot(true);
        timer->setInterval(0);
        connect(timer, &QTimer::timeout, timer, &QObject::deleteLater);
        connect(timer, &QTimer::timeout, this, [buttonText] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            QVERIFY(box != nullptr);
            QCOMPARE(box->defaultButton()->text(), QStringLiteral("Отмена"));
            for (QAbstractButton* b : box->buttons()) {
                if (b->text() == buttonText) {
                    b->click();
                    return;
                }
            }
            QFAIL("no such button");
        });
        timer->start();
    }

private slots:
    void init() { QVERIFY(enter()); }
    void cleanup() { leave(); }

    void readingShowsSessionOne() {
        QVERIFY(start(1));
        ui().PageControl1->setCurrentWidget(ui().TabSheet1);
        form().Button1Click();
        QCOMPARE(form().statusLineText(), QStringLiteral("Прочитано"));
        QVERIFY(!form().timer1().isActive());
        QVERIFY(ui().ReadProgress->isHidden());
        QVERIFY(ui().ProgressBar2->isHidden());
        QCOMPARE(ui().Edit2->text(), QStringLiteral(" 1 из 3"));
        QCOMPARE(cell(0, 2), QStringLiteral("МЭД, мкЗв/ч"));
        QCOMPARE(cell(1, 0), QStringLiteral("1"));
        QVERIFY(cell(1, 1).endsWith(QStringLiteral(" 02/11/26")));
        QCOMPARE(stat(1), QStringLiteral("120"));
        QCOMPARE(stat(0), QStringLiteral(" 1 ч 59 мин"));
        QCOMPARE(form().series12()->dataCount(), 120);
        // The time labels land on whole minutes: 09:00 to 11:00 in steps a clock's labels take,
        // not 09:29 for a tick a hair below 09:30.
        ui().Chart5->replot();
        const QVector<QString> labels = ui().Chart5->xAxis->tickVectorLabels();
        QVERIFY(labels.size() >= 3);
        for (const QString& label : labels) {
            QVERIFY2(label.endsWith(u'0') || label.endsWith(u'5'), qPrintable(label));
        }
        QVERIFY(QFile::exists(QStringLiteral("archive.txt")));
        // 120 samples: 121 rows shown.
        QVERIFY(!ui().StringGrid8->isRowHidden(120));
        QVERIFY(ui().StringGrid8->isRowHidden(121));
    }

    void theArrowsWrapAroundAndWriteTheFileWhenTicked() {
        QVERIFY(start(2));
        form().Button1Click();
        form().BitBtn5Click(); // previous from 1: the last
        QCOMPARE(ui().Edit2->text(), QStringLiteral(" 3 of 3"));
        QCOMPARE(cell(0, 2), QStringLiteral("Alpha, 1/(min*cm2)"));
        QVERIFY(!QFile::exists(QStringLiteral("сеанс3.txt")));
        form().BitBtn11Click(); // next from 3: the first
        QCOMPARE(ui().Edit2->text(), QStringLiteral(" 1 of 3"));

        ui().CheckBox1->setChecked(true); // writes nothing by itself
        QVERIFY(!QFile::exists(QStringLiteral("сеанс1.txt")));
        form().BitBtn11Click();
        QCOMPARE(ui().Edit2->text(), QStringLiteral(" 2 of 3"));
        QFile file(QStringLiteral("сеанс2.txt"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(file.readAll().startsWith("122 14:00:00 03/11/26 "));
    }

    void theDateFormatIsAppliedOnStepsOnly() {
        QVERIFY(start(1));
        form().Button1Click();
        auto ticker = ui().Chart5->xAxis->ticker().dynamicCast<QCPAxisTickerDateTime>();
        QVERIFY(ticker);
        QCOMPARE(ticker->dateTimeFormat(), QStringLiteral("hh:mm"));
        ui().ComboBox9->setCurrentIndex(2);
        QCOMPARE(ticker->dateTimeFormat(), QStringLiteral("hh:mm")); // not yet
        form().BitBtn11Click();
        QCOMPARE(ticker->dateTimeFormat(), QStringLiteral("hh:mm dd.MM.yy"));
    }

    void zoomAndScrollSurviveStepsUntilTheResetButton() {
        QVERIFY(start(1));
        form().Button1Click();
        const QCPRange whole = timeRange();
        form().BitBtn1Click(); // zoom in on time
        const QCPRange zoomed = timeRange();
        QCOMPARE(zoomed.lower, whole.lower);
        QVERIFY(zoomed.upper < whole.upper);
        form().BitBtn11Click(); // session 2 lies elsewhere in time: the zoom stays
        QCOMPARE(timeRange().lower, zoomed.lower);
        QCOMPARE(timeRange().upper, zoomed.upper);
        form().BitBtn6Click(); // value axis zoom in
        const double top = ui().Chart5->yAxis->range().upper;
        form().Button1Click(); // a new read keeps it too
        QCOMPARE(ui().Chart5->yAxis->range().upper, top);
        form().BitBtn10Click();
        QVERIFY(timeRange().lower != zoomed.lower || timeRange().upper != zoomed.upper);
        QCOMPARE(ui().Chart5->yAxis->range().lower, 0.0);
        // Scrolling the value axis down once is allowed, twice not (the minimum went below 0).
        form().BitBtn9Click();
        const QCPRange once = ui().Chart5->yAxis->range();
        QVERIFY(once.lower < 0.0);
        form().BitBtn9Click();
        QCOMPARE(ui().Chart5->yAxis->range().lower, once.lower);
    }

    void eraseAsksFirstThenClearsTheTab() {
        QVERIFY(start(1));
        form().Button1Click();
        answerQuestion(QStringLiteral("Отмена"));
        form().Button7Click();
        QCOMPARE(simulator->server().stats().writes, 0U);
        QCOMPARE(ui().Edit2->text(), QStringLiteral(" 1 из 3"));

        answerQuestion(QStringLiteral("Стереть"));
        form().Button7Click();
        QVERIFY(sim::Simulator::waitFor([&] { return simulator->server().stats().writes == 1; },
                                        std::chrono::seconds(5)));
        QCOMPARE(ui().Edit2->text(), QStringLiteral(" "));
        QVERIFY(cell(1, 0).isEmpty());
        QVERIFY(stat(1).isEmpty());
        QCOMPARE(ui().StringGrid3->item(1, 0)->text(), QStringLiteral("Измерений"));
        QCOMPARE(ui().Label21->text(), QStringLiteral("0%"));
        QCOMPARE(ui().ProgressBar1->value(), 0);
        QCOMPARE(form().series12()->dataCount(), 0);
        form().BitBtn11Click(); // nothing while nothing is loaded
        QCOMPARE(ui().Edit2->text(), QStringLiteral(" "));
    }

    void eraseWithoutAPortTellsAndClearsNothing() {
        QVERIFY(start(1));
        form().Button1Click();
        context->state.portNumber = 9;
        answerQuestion(QStringLiteral("Стереть"));
        form().Button7Click();
        QCOMPARE(form().statusLineText(), QStringLiteral("Невозможно открыть порт"));
        QCOMPARE(ui().Edit2->text(), QStringLiteral(" 1 из 3"));
        QCOMPARE(form().series12()->dataCount(), 120);
    }
    // Two reads of one archive: one download, each record once; the history window shows them
    // all, in both languages, with every text fitting; a file that is not a history is named
    // with its reason and left as it was.
    void eachReadIsKeptInTheHistoryOnceAndTheHistoryWindowShowsIt() {
        QVERIFY(start(1));
        context->historyPath = QDir::current().filePath(QStringLiteral("window-history.sqlite"));
        form().Button1Click();
        form().Button1Click();
        QCOMPARE(form().statusLineText(), QStringLiteral("Прочитано"));
        history::HistoryStore store;
        QVERIFY(store.open(context->historyPath, false).ok());
        history::Result r;
        const auto records = store.records({}, r);
        QCOMPARE(store.downloads({}, r).size(), std::size_t{1});
        // Every sample once, and a session for each session number the walk gives samples (the
        // tab's count can stop below it: trailing blank records take numbers back).
        std::size_t samples = 0;
        std::set<int> sessions;
        archive::walkSessions(context->archive,
                              [&](const archive::ArchiveRecord& record, int session) {
                                  if (record.isSample) {
                                      ++samples;
                                      sessions.insert(session);
                                  }
                              });
        QCOMPARE(records.size(), samples);
        const auto instruments = store.instruments(r);
        QCOMPARE(instruments.size(), std::size_t{1});
        QCOMPARE(instruments[0].deviceType, 4);

        form().ShowHistoryClick();
        forms::HistoryWindow* window = form().historyWindow();
        QVERIFY(window != nullptr && window->isVisible());
        QCOMPARE(window->windowTitle(), QStringLiteral("История"));
        QCOMPARE(window->view().records, static_cast<int>(records.size()));
        int points = 0;
        for (int g = 0; g < window->chart()->graphCount(); ++g) {
            points += window->chart()->graph(g)->dataCount();
        }
        QCOMPARE(points, static_cast<int>(records.size()));
        QCOMPARE(window->sessionsTable()->rowCount(), static_cast<int>(sessions.size()));
        QVERIFY(window->statsTable()->rowCount() > 0);
        QCOMPARE(window->statsTable()->item(0, 2)->text(), QStringLiteral("МЭД, мкЗв/ч"));
        QCOMPARE(window->fromEdit()->date(),
                 QDate::fromString(records.front().time.left(10), Qt::ISODate));
        for (const app::Language language : {app::Language::russian, app::Language::english}) {
            if (language == app::Language::english) {
                form().English1Click();
                QCOMPARE(window->windowTitle(), QStringLiteral("History"));
                QCOMPARE(window->sessionsTable()->horizontalHeaderItem(1)->text(),
                         QStringLiteral("First record"));
                QCOMPARE(window->statsTable()->item(0, 2)->text(),
                         QStringLiteral("Dose rate, uSv/h"));
            }
            testing::TextFit fit(language == app::Language::english ? "[history en]"
                                                                    : "[history ru]");
            fit.check(window);
            QVERIFY2(fit.offences().isEmpty(), qPrintable(testing::describe(fit.offences())));
        }
        const QString csv = QDir::current().filePath(QStringLiteral("history.csv"));
        QVERIFY(window->exportCsv(csv));
        QFile exported(csv);
        QVERIFY(exported.open(QIODevice::ReadOnly));
        QCOMPARE(exported.readAll().count('\n'), static_cast<qsizetype>(records.size() + 1));

        const QString foreign = QDir::current().filePath(QStringLiteral("not-a-history.sqlite"));
        QFile other(foreign);
        QVERIFY(other.open(QIODevice::WriteOnly));
        other.write("a spreadsheet, not a history\n");
        other.close();
        forms::HistoryWindow refused(foreign, app::Language::english);
        refused.refresh();
        QVERIFY2(
            refused.messageLabel()->text().startsWith(QStringLiteral("Cannot open the history %1: ")
                                                          .arg(QDir::toNativeSeparators(foreign))),
            qPrintable(refused.messageLabel()->text()));
        QVERIFY(!refused.exportCsv(csv));
        QVERIFY(other.open(QIODevice::ReadOnly));
        QCOMPARE(other.readAll(), QByteArray("a spreadsheet, not a history\n"));
    }
    // A read from an instrument that takes 100 ms before each answer (about 80 s for the
    // archive): the window keeps taking its events, nothing that starts another operation can
    // be reached, and "Отмена", then Esc, end it as a failed read, told in black.
    void cancelEndsASlowReadAndTheWindowKeepsItsEvents() {
        Options slow;
        slow.turnaround = std::chrono::milliseconds(100);
        QVERIFY(start(1, 4, slow));
        form().show();
        ui().PageControl1->setCurrentWidget(ui().TabSheet1);
        const bool active = QTest::qWaitForWindowActive(&form());
        enum class By { button, key, closing };
        for (const By by : {By::button, By::key, By::closing}) {
            if (by == By::key && !active) {
                continue; // no active window on this platform: Esc has nowhere to go
            }
            int ticks = 0;
            bool blocked = false;
            std::size_t requestsAtCancel = 0;
            QTimer alive; // a timer of the interface thread, firing throughout the read
            alive.setInterval(100);
            connect(&alive, &QTimer::timeout, this, [&] {
                if (++ticks == 10) {
                    blocked = ui().CancelRead->isVisible() && !ui().Button1->isEnabled() &&
                              !ui().MainMenu1->isEnabled() &&
                              !ui().PageControl1->tabBar()->isEnabled() && form().deviceBusy();
                    requestsAtCancel = simulator->server().requestLog().size();
                    if (by == By::key) {
                        QTest::keyClick(&form(), Qt::Key_Escape);
                    } else if (by == By::button) {
                        ui().CancelRead->click();
                    } else {
                        form().close(); // cancels first, closes once the read has ended
                    }
                }
            });
            alive.start();
            simulator->server().clearRequestLog();
            form().Button1Click();
            alive.stop();
            QVERIFY(ticks >= 10);
            QVERIFY(blocked);
            QCOMPARE(form().statusLineText(), QStringLiteral("Чтение прервано"));
            QCOMPARE(form().statusLineColour(), QColor(0, 0, 0));
            // Ended at once: at most the request under way and one more went out.
            QVERIFY2(simulator->server().requestLog().size() <= requestsAtCancel + 2,
                     qPrintable(QString::number(simulator->server().requestLog().size())));
            QVERIFY(ui().CancelRead->isHidden());
            QVERIFY(!ui().Button7->isHidden());
            QVERIFY(ui().MainMenu1->isEnabled());
            QVERIFY(ui().ReadProgress->isHidden());
            QCOMPARE(form().series12()->dataCount(), 0);
            QVERIFY(!form().timer1().isActive());
            QVERIFY(!context->archive.loaded);
            QTRY_COMPARE(form().isVisible(), by != By::closing);
        }
    }
};

QTEST_MAIN(ArchiveTabTest)
#include "archive_tab_test.moc"
