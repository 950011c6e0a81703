#pragma once
// TForm3, the About window in Russian.

#include "forms/about_window.h"

#include "ui_About.h"

namespace veltra::forms {

class TForm3 : public AboutWindow<Ui::TForm3> {
public:
    explicit TForm3(QWidget* parent = nullptr)
        : AboutWindow(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                          Qt::WindowTitleHint | Qt::WindowSystemMenuHint,
                      parent) {}
};

} // namespace veltra::forms
