#pragma once
// Finds the texts of a window that do not fit their controls in the font in use: labels, buttons,
// check boxes and radio buttons, group titles, tabs, grid cells, list items, line edits. A control
// that is hidden (by itself or by a hidden parent other than a tab page) is not looked at.

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QStyleOption>
#include <QTabWidget>
#include <QTableWidget>
#include <QToolButton>

namespace veltra::testing {

struct Offence {
    QString control;
    QString text;
    int needed = 0;
    int available = 0;
};

inline QString describe(const QList<Offence>& offences) {
    QStringList lines;
    for (const Offence& o : offences) {
        lines << QStringLiteral("%1: \"%2\" needs %3 px, has %4")
                     .arg(o.control, o.text)
                     .arg(o.needed)
                     .arg(o.available);
    }
    return lines.join(u'\n');
}

inline bool shown(const QWidget* w, const QWidget* top) {
    for (const QWidget* p = w; p != nullptr && p != top; p = p->parentWidget()) {
        const bool page = qobject_cast<const QStackedWidget*>(p->parentWidget()) != nullptr;
        if (p->isHidden() && !page) {
            return false;
        }
    }
    return true;
}

class TextFit {
public:
    explicit TextFit(QString where) : m_where(std::move(where)) {}

    void check(QWidget* top) {
        QList<QWidget*> widgets = top->findChildren<QWidget*>();
        widgets.prepend(top);
        for (QWidget* w : widgets) {
            if (!shown(w, top) || w->objectName().startsWith(QLatin1String("qt_"))) {
                continue;
            }
            if (auto* label = qobject_cast<QLabel*>(w)) {
                checkLabel(label);
            } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
                checkButton(button);
            } else if (auto* box = qobject_cast<QComboBox*>(w)) {
                checkCombo(box);
            } else if (auto* group = qobject_cast<QGroupBox*>(w)) {
                checkGroup(group);
            } else if (auto* tabs = qobject_cast<QTabWidget*>(w)) {
                checkTabs(tabs);
            } else if (auto* grid = qobject_cast<QTableWidget*>(w)) {
                checkGrid(grid);
            } else if (auto* edit = qobject_cast<QLineEdit*>(w)) {
                checkEdit(edit);
            }
        }
    }

    [[nodiscard]] const QList<Offence>& offences() const { return m_offences; }

private:
    void offend(const QWidget* w, const QString& text, int needed, int available) {
        m_offences.push_back({m_where + u' ' + w->objectName(), text, needed, available});
    }

    void checkLabel(QLabel* label) {
        const QString text = label->text();
        if (text.trimmed().isEmpty() || label->textFormat() == Qt::RichText ||
            label->pixmap().isNull() == false) {
            return;
        }
        const QFontMetrics fm(label->font());
        QRect room = label->contentsRect();
        if (label->property("textTurned").toBool()) {
            room = room.transposed(); // the text reads upwards along the label's height
        }
        if (label->wordWrap()) {
            const QRect needed = fm.boundingRect(QRect(0, 0, room.width(), 10000),
                                                 Qt::TextWordWrap | int(label->alignment()), text);
            if (needed.height() > room.height() || needed.width() > room.width()) {
                offend(label, text, needed.height(), room.height());
            }
            return;
        }
        const QStringList lines = text.split(u'\n');
        for (const QString& line : lines) {
            const int width = fm.horizontalAdvance(line);
            if (width > room.width()) {
                offend(label, line, width, room.width());
            }
        }
        const int height = fm.height() * static_cast<int>(lines.size());
        if (height > room.height() + 2) {
            offend(label, text, height, room.height());
        }
    }

    void checkButton(QAbstractButton* button) {
        const QString text = button->text().remove(u'&');
        if (text.isEmpty()) {
            return;
        }
        const QFontMetrics fm(button->font());
        const int width = fm.horizontalAdvance(text);
        QStyleOptionButton option;
        option.initFrom(button);
        option.text = text;
        QStyle::SubElement contents = QStyle::SE_PushButtonContents;
        int inset = 0;
        if (qobject_cast<QCheckBox*>(button) != nullptr) {
            contents = QStyle::SE_CheckBoxContents;
        } else if (qobject_cast<QRadioButton*>(button) != nullptr) {
            contents = QStyle::SE_RadioButtonContents;
        } else if (qobject_cast<QToolButton*>(button) != nullptr) {
            return; // icon buttons
        } else {
            inset = 4; // the push button's text stands 2 px clear of its bevel on each side
        }
        const int room = button->style()->subElementRect(contents, &option, button).width() - inset;
        if (width > room) {
            offend(button, text, width, room);
        }
        if (fm.height() > button->height()) {
            offend(button, text, fm.height(), button->height());
        }
    }

    void checkCombo(QComboBox* box) {
        QStyleOptionComboBox option;
        option.initFrom(box);
        option.editable = box->isEditable();
        const int room =
            box->style()
                ->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, box)
                .width();
        const QFontMetrics fm(box->font());
        for (int i = 0; i < box->count(); ++i) {
            const int width = fm.horizontalAdvance(box->itemText(i));
            if (width > room) {
                offend(box, box->itemText(i), width, room);
            }
        }
    }

    void checkGroup(QGroupBox* group) {
        if (group->title().isEmpty()) {
            return;
        }
        const int width = QFontMetrics(group->font()).horizontalAdvance(group->title());
        if (width > group->width() - 16) {
            offend(group, group->title(), width, group->width() - 16);
        }
    }

    void checkTabs(QTabWidget* tabs) {
        const int needed = tabs->tabBar()->sizeHint().width();
        if (needed > tabs->width()) {
            offend(tabs, QStringLiteral("(tabs)"), needed, tabs->width());
        }
        for (int i = 0; i < tabs->count(); ++i) {
            const QRect rect = tabs->tabBar()->tabRect(i);
            const int width =
                QFontMetrics(tabs->tabBar()->font()).horizontalAdvance(tabs->tabText(i));
            if (width > rect.width()) {
                offend(tabs, tabs->tabText(i), width, rect.width());
            }
        }
    }

    void checkGrid(QTableWidget* grid) {
        for (int row = 0; row < grid->rowCount(); ++row) {
            if (grid->isRowHidden(row)) {
                continue;
            }
            for (int column = 0; column < grid->columnCount(); ++column) {
                const QTableWidgetItem* item = grid->item(row, column);
                if (item == nullptr || item->text().isEmpty()) {
                    continue;
                }
                const QFont font = item->data(Qt::FontRole).isValid()
                                       ? item->data(Qt::FontRole).value<QFont>()
                                       : grid->font();
                const QFontMetrics fm(font);
                // The item's text margin on each side, as the style draws it.
                const int margin =
                    2 *
                    (grid->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, grid) + 1);
                const int width = fm.horizontalAdvance(item->text()) + margin;
                if (width > grid->columnWidth(column)) {
                    offend(grid, item->text(), width, grid->columnWidth(column));
                }
                if (fm.height() > grid->rowHeight(row)) {
                    offend(grid, item->text() + QStringLiteral(" (height)"), fm.height(),
                           grid->rowHeight(row));
                }
            }
        }
    }

    void checkEdit(QLineEdit* edit) {
        const QString text = edit->text();
        if (text.isEmpty()) {
            return;
        }
        const int width = QFontMetrics(edit->font()).horizontalAdvance(text);
        // The frame and the line edit's own margin on each side.
        const int room =
            edit->contentsRect().width() - 2 * 2 -
            2 * edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, edit);
        if (width > room) {
            offend(edit, text, width, room);
        }
    }

    QString m_where;
    QList<Offence> m_offences;
};

} // namespace veltra::testing
