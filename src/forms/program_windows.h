#pragma once
// The program's five windows, created in their order (main window, connection dialog, the two
// About windows, compact window), each living as long as this object: the program's life.

#include "app/app_context.h"
#include "forms/About.h"
#include "forms/About_eng.h"
#include "forms/Interface.h"
#include "forms/Short2.h"
#include "forms/fonts.h"
#include "forms/main_window.h"
#include "forms/program_icon.h"

#include <QApplication>

#include <memory>

namespace veltra::forms {

struct ProgramWindows {
    explicit ProgramWindows(app::AppContext& context)
        : look(prepareLook()), form1(std::make_unique<TForm1>(context)),
          form2(std::make_unique<TForm2>(context.state)), form3(std::make_unique<TForm3>()),
          form4(std::make_unique<TForm4>()), form9(std::make_unique<TForm9>()) {
        form1->attach(form2.get(), form3.get(), form4.get(), form9.get());
    }

    // The program's fonts and its icon on every window, before the first window is made.
    static bool prepareLook() {
        installProgramFonts();
        QApplication::setWindowIcon(programIcon());
        return true;
    }

    bool look;
    std::unique_ptr<TForm1> form1;
    std::unique_ptr<TForm2> form2; // reads prog.ini when created
    std::unique_ptr<TForm3> form3;
    std::unique_ptr<TForm4> form4;
    std::unique_ptr<TForm9> form9;
};

} // namespace veltra::forms
