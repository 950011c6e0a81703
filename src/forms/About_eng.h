#pragma once
// TForm4, the About window in English.

#include "forms/about_window.h"

#include "ui_About_eng.h"

namespace veltra::forms {

class TForm4 : public AboutWindow<Ui::TForm4> {
public:
    explicit TForm4(QWidget* parent = nullptr)
        : AboutWindow(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint, parent) {}
};

} // namespace veltra::forms
