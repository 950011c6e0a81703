#pragma once
// TForm9, the compact label window: a small borderless, semi-transparent window that shows only
// the current reading and its unit. Drag it with any mouse button (every third move event moves
// it, the pressed point following the mouse); a right click returns to the full view; a double
// click saves the settings with the short view and ends the program.

#include <QWidget>

#include <memory>

namespace Ui {
class TForm9;
}
class QLabel;

namespace veltra::forms {

class TForm9 : public QWidget {
    Q_OBJECT
public:
    explicit TForm9(QWidget* parent = nullptr);
    ~TForm9() override;

    QLabel* label1() const; // the blank and the number
    QLabel* label2() const; // the unit and a blank
    // Opacity 0..255.
    void setOpacity(int alpha);
    // Resizes the window to its two labels after their texts changed.
    void fitToLabels();

signals:
    void returnToFullViewRequested(); // right click
    void saveAndQuitRequested();      // double click

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Label1MouseDown(QPoint labelPos);
    void Label1MouseMove(QPoint labelPos);
    void Label1MouseUp();

    std::unique_ptr<Ui::TForm9> m_ui;
    bool m_dragging = false;
    QPoint m_dragAnchor;
    int m_dragMoveCounter = 0;
};

} // namespace veltra::forms
