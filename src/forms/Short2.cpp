#include "forms/Short2.h"

#include "forms/fonts.h"

#include "ui_Short2.h"

#include <QMouseEvent>

#include <algorithm>

namespace veltra::forms {

namespace {
constexpr int designedUnitLeft = 56; // Label2 at (56, 8)
} // namespace

TForm9::TForm9(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint), m_ui(std::make_unique<Ui::TForm9>()) {
    m_ui->setupUi(this);
    applyProgramFonts(this);
    // The system's active-caption colour behind both labels.
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, palette.color(QPalette::Active, QPalette::Highlight));
    palette.setColor(QPalette::WindowText,
                     palette.color(QPalette::Active, QPalette::HighlightedText));
    setPalette(palette);
    for (QLabel* label : {m_ui->Label1, m_ui->Label2}) {
        label->installEventFilter(this);
        label->setContextMenuPolicy(Qt::PreventContextMenu);
    }
    move(124, 376);
}

TForm9::~TForm9() = default;

QLabel* TForm9::label1() const {
    return m_ui->Label1;
}
QLabel* TForm9::label2() const {
    return m_ui->Label2;
}

void TForm9::setOpacity(int alpha) {
    setWindowOpacity((alpha & 0xFF) / 255.0);
}

void TForm9::fitToLabels() {
    for (QLabel* label : {m_ui->Label1, m_ui->Label2}) {
        label->adjustSize();
    }
    // The unit is never hidden under the number: a number wider than the unit's designed place
    // allows pushes the unit to its right, a blank's width (in the number's font) after it. A
    // hidden "м" or "u" would change the unit a thousandfold.
    const int numberEnd = m_ui->Label1->x() + m_ui->Label1->width() +
                          QFontMetrics(m_ui->Label1->font()).horizontalAdvance(u' ');
    m_ui->Label2->move(std::max(designedUnitLeft, numberEnd), m_ui->Label2->y());
    const QRect bounds = m_ui->Label1->geometry().united(m_ui->Label2->geometry());
    resize(bounds.right() + 1, bounds.bottom() + 1);
}

void TForm9::Label1MouseDown(QPoint pos) {
    m_dragging = true;
    m_dragAnchor = pos;
}

void TForm9::Label1MouseMove(QPoint pos) {
    if (m_dragging && m_dragMoveCounter <= 0) {
        move(x() + pos.x() - m_dragAnchor.x(), y() + pos.y() - m_dragAnchor.y());
        ++m_dragMoveCounter;
    } else if (m_dragging) {
        ++m_dragMoveCounter;
    }
    if (m_dragMoveCounter == 3) {
        m_dragMoveCounter = 0;
    }
}

void TForm9::Label1MouseUp() {
    m_dragging = false;
    m_dragMoveCounter = 0;
}

bool TForm9::eventFilter(QObject* watched, QEvent* event) {
    auto* label = qobject_cast<QLabel*>(watched);
    if (label == nullptr) {
        return QWidget::eventFilter(watched, event);
    }
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        Label1MouseDown(mouse->position().toPoint());
        if (mouse->button() == Qt::RightButton) {
            emit returnToFullViewRequested();
        }
        return true;
    }
    case QEvent::MouseMove:
        Label1MouseMove(static_cast<QMouseEvent*>(event)->position().toPoint());
        return true;
    case QEvent::MouseButtonRelease:
        Label1MouseUp();
        return true;
    case QEvent::MouseButtonDblClick:
        emit saveAndQuitRequested();
        return true;
    default:
        return QWidget::eventFilter(watched, event);
    }
}

} // namespace veltra::forms
