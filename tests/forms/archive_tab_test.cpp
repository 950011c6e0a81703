// The archive tab in the window against the simulated instrument through a pseudo-terminal, on
// the offscreen platform: the read, the session arrows with wrap-around, "Сохранить в файле",
// the date format, the chart's navigation, and the erase with its question.
#include "window_fixture.h"

#include <qcustomplot.h>

#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <QtTest>

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
};

QTEST_MAIN(ArchiveTabTest)
#include "archive_tab_test.moc"
