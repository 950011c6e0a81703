// The connection dialog as the main window drives it: the menu command "Связь", the start-up's
// scan, and Timer2.
#include "forms/Interface.h"
#include "forms/main_window.h"

#include "link/serial_port.h"
#include "text/number_text.h"

namespace veltra::forms {

void TForm1::attachConnectionDialog() {
    const link::PortCatalog* catalog = &m_context.link.catalog();
    const app::AppState* state = &m_context.state;
    m_connection->setDeviceDescriber([catalog, state](int number) {
        return app::portDeviceLine(*catalog, number, state->language, &link::describeSerialDevice);
    });
    m_connection->setCancelAction([this] { cancelDeviceWork(); });
}

void TForm1::N13Click() {
    app::runConnectionMenu(m_context, *this, text::userDecimalSeparator());
}

void TForm1::startTimer2() {
    m_timer2.start(); // its tick enables Timer1 and stops Timer2
}

void TForm1::showSearchLook(bool showLabel, const std::optional<QString>& labelText) {
    m_connection->showSearchLook(showLabel, labelText);
}

void TForm1::hideDialog() {
    m_connection->hide();
}

bool TForm1::chooseConnection() {
    return m_connection->chooseConnection();
}

void TForm1::clearPortList() {
    m_connection->clearPortList();
}

void TForm1::addPortRow(int number) {
    m_connection->addPortRow(number);
}

void TForm1::selectPortRow(int row) {
    m_connection->selectPortRow(row);
}

void TForm1::setScanProgress(int port) {
    m_connection->setScanProgress(port);
}

void TForm1::paintScanProgress() {
    m_connection->paintScanProgress();
}

} // namespace veltra::forms
