// The parameters tab and the two languages in the window, against the simulated instrument of
// every type: the groups, caption and lists each type shows, the refusals before a read, and
// language switching.
#include "app/text_tables.h"
#include "link/codecs.h"
#include "window_fixture.h"

#include <QtTest>

using namespace veltra;

class ParametersTabTest : public QObject, private testing::WindowFixture {
    Q_OBJECT

private:
    QStringList items(QComboBox* box) {
        QStringList out;
        for (int i = 0; i < box->count(); ++i) {
            out << box->itemText(i);
        }
        return out;
    }

private slots:
    void init() { QVERIFY(enter()); }
    void cleanup() { leave(); }

    void eachTypeShowsItsGroupsCaptionAndLists_data() {
        QTest::addColumn<int>("type");
        QTest::addColumn<int>("language");
        for (int type = 1; type <= 7; ++type) {
            for (const int language : {1, 2}) {
                QTest::addRow("type %d, %s", type, language == 1 ? "ru" : "en") << type << language;
            }
        }
    }

    void eachTypeShowsItsGroupsCaptionAndLists() {
        QFETCH(int, type);
        QFETCH(int, language);
        QVERIFY(start(language, type));
        form().show(); // the start-up: first reading, the tables, the parameter read
        form().timer1().stop();
        form().timer3().stop();

        QCOMPARE(form().windowTitle(), *app::modelCaption(type, text::languageFromCode(language)));
        const auto groups = *params::visibleGroups(type);
        const auto shown = [&](QWidget* w) { return !w->isHidden(); };
        QCOMPARE(shown(ui().ComboBox1), false);
        QCOMPARE(shown(ui().Label16), false);
        QCOMPARE(shown(ui().ComboBox2), groups.sound);
        QCOMPARE(shown(ui().ComboBox6), groups.view);
        QCOMPARE(shown(ui().Label25), groups.language);
        QCOMPARE(shown(ui().ComboBox4), groups.backlightTime);
        QCOMPARE(shown(ui().ComboBox8), groups.backlight);
        QCOMPARE(shown(ui().TrackBar2), groups.bluetooth);
        QCOMPARE(shown(ui().CheckBox3), groups.bluetooth);

        QCOMPARE(items(ui().ComboBox1), app::modeItems(type, text::languageFromCode(language)));
        QCOMPARE(items(ui().ComboBox4),
                 app::backlightTimeItems(type, text::languageFromCode(language)));
        // The simulated instrument's backlight is on for 60 s.
        if (ui().ComboBox4->count() > 0) {
            QVERIFY(ui().ComboBox4->currentText().startsWith(language == 1 ? "1 мин" : "1 min"));
        } else {
            QCOMPARE(ui().ComboBox4->currentIndex(), -1);
        }
        // Stored view 0 is the short view in each language.
        QCOMPARE(ui().ComboBox6->currentText(), QString(language == 1 ? "Кратко" : "Short"));
        QCOMPARE(ui().StringGrid1->item(1, 1)->text(), QStringLiteral("0.30"));
        QCOMPARE(ui().StringGrid4->item(0, 1)->text(),
                 QString(language == 1 ? "Значение, мкЗв" : "Value,  uSv"));
        QCOMPARE(ui().Label13->text(),
                 QString(language == 1 ? "Текущий порог МЭД" : "Сurrent threshold MED"));
        QCOMPARE(ui().ComboBox5->currentText(), QStringLiteral("1"));
        const bool bluetooth = type == 2 || type == 7;
        QCOMPARE(ui().CheckBox2->isChecked(), bluetooth);
        QCOMPARE(ui().Label11->text(), QString(bluetooth ? "10" : "0"));
        QCOMPARE(ui().TrackBar2->isEnabled(), bluetooth);
        QVERIFY(ui().RadioButton1->isChecked()); // options 0x04: every minute
        QVERIFY(ui().CheckBox8->isChecked());
        QCOMPARE(windows->form3->versionLabel()->text(), QString::number(10 + type));
        QCOMPARE(windows->form4->versionLabel()->text(), QString::number(10 + type));
    }

    void commandsRefuseBeforeARead() {
        QVERIFY(start(1));
        form().Button6Click();
        QCOMPARE(form().statusLineText(), QStringLiteral("Параметры не прочитаны!"));
        QCOMPARE(form().statusLineColour(), QColor(255, 0, 0));
        form().Button8Click();
        QCOMPARE(form().statusLineText(), QStringLiteral("Параметры не прочитаны!"));
        form().Button4Click();
        QCOMPARE(simulator->server().stats().writes, std::uint64_t{0});
    }

    void savingAfterAReadAndABadCell() {
        QVERIFY(start(2));
        form().show(); // the start-up fills the lists from the tables
        form().timer3().stop();
        form().Button14Click();
        QCOMPARE(form().statusLineText(), QStringLiteral("Read OK"));
        QVERIFY(!form().timer1().isActive());

        ui().StringGrid1->item(2, 1)->setText(QStringLiteral("abc")); // as the user types it
        form().Button6Click();
        QCOMPARE(form().statusLineText(),
                 QStringLiteral("Threshold MED # 2: \"abc\" is not a number"));
        QCOMPARE(ui().StringGrid1->currentRow(), 2);
        QCOMPARE(simulator->server().stats().writes, std::uint64_t{0});

        ui().StringGrid1->item(2, 1)->setText(QStringLiteral("2.5"));
        ui().ComboBox2->setCurrentIndex(0); // sound off
        QTest::mouseClick(ui().RadioButton2, Qt::LeftButton);
        QVERIFY(!ui().RadioButton1->isChecked());
        form().Button6Click();
        QCOMPARE(form().statusLineText(), QStringLiteral("Write OK"));
        QVERIFY(sim::Simulator::waitFor([&] { return simulator->server().stats().writes == 1; },
                                        std::chrono::seconds(5)));
        const auto sent = simulator->model().parameters();
        QCOMPARE(sent[1], std::uint8_t{0});
        QCOMPARE(sent[54], std::uint8_t{0x10});
        QCOMPARE(link::decodeFloat32(sent, 12),
                 link::decodeFloat32(link::encodeFloat32Bytes(2.501)));
    }

    void clickingTheLoggingBoxRunsItsRule() {
        QVERIFY(start(1));
        form().Button14Click();
        // On the box itself: a click beyond the end of its text is not a click on it.
        const QPoint box(6, ui().CheckBox8->height() / 2);
        QTest::mouseClick(ui().CheckBox8, Qt::LeftButton, {}, box);
        QVERIFY(!ui().CheckBox8->isChecked());
        QVERIFY(!ui().RadioButton1->isEnabled());
        QVERIFY(!ui().CheckBox6->isEnabled());
        QTest::mouseClick(ui().CheckBox8, Qt::LeftButton, {}, box);
        QVERIFY(ui().CheckBox6->isEnabled());
    }

    void switchingLanguagesGivesTheTablesTexts() {
        QVERIFY(start(1));
        QCOMPARE(ui().Button7->text(), QStringLiteral("Стереть Архив")); // as designed
        form().English1Click();
        QCOMPARE(context->state.language, text::Language::english);
        QCOMPARE(ui().Button7->text(), QStringLiteral("Erase archive"));
        QCOMPARE(ui().N8->text(), QStringLiteral("Exit"));
        QCOMPARE(ui().Mview->title(), QStringLiteral("View"));
        QCOMPARE(ui().PageControl1->tabText(1), QStringLiteral("Parameters"));
        QCOMPARE(ui().Label34->x(), 153);
        QCOMPARE(ui().ComboBox9->itemText(2), QStringLiteral(" Date & Time"));
        QCOMPARE(windows->form2->windowTitle(), QStringLiteral("Connection"));
        QVERIFY(ui().English1->isChecked());
        QVERIFY(!ui().N1->isChecked());
        QVERIFY(form().timer1().isActive());
        form().N1Click();
        QCOMPARE(ui().Button7->text(), QStringLiteral("Стереть архив")); // the table's text
        QCOMPARE(ui().Label24->text(), QStringLiteral("Прозрачность краткой формы"));
        QCOMPARE(ui().Label32->text(), QStringLiteral("Заполнение памяти"));
        QCOMPARE(ui().StringGrid8->item(0, 0)->text(), QStringLiteral("№"));
        QCOMPARE(windows->form2->windowTitle(), QStringLiteral("Связь"));
        QCOMPARE(form().windowTitle(), QStringLiteral("Corvina")); // no type read yet
    }

    void aboutShowsTheVersionLineOnlyAfterARead() {
        QVERIFY(start(1));
        QTimer::singleShot(0, [this] { windows->form3->accept(); });
        form().showAbout();
        QVERIFY(windows->form3->versionLabel()->isHidden());
        form().Button14Click();
        QTimer::singleShot(0, [this] { windows->form3->accept(); });
        form().showAbout();
        QVERIFY(!windows->form3->versionLabel()->isHidden());

        context->state.aboutSuppressed = true;
        form().showAbout(); // shows nothing: returns at once
        QVERIFY(!windows->form3->isVisible());
    }
};

QTEST_MAIN(ParametersTabTest)
#include "parameters_tab_test.moc"
