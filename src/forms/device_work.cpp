// The main window's device worker: each group of transactions runs on a thread of its own that
// holds the port meanwhile, and this thread keeps taking its events until the group has ended.
#include "forms/Interface.h"
#include "forms/Short2.h"
#include "forms/main_window.h"

#include "ui_main_window.h"

#include <QEventLoop>
#include <QMetaObject>
#include <QPushButton>
#include <QSet>
#include <QTabBar>
#include <QThread>
#include <QTimer>
#include <QTimerEvent>

#include <span>

namespace veltra::forms {

namespace {

// Keeps the timers' ticks that fall due during a short group and hands each over once it has
// ended, as a blocked thread would have taken them late.
class HeldTicks final : public QObject {
public:
    explicit HeldTicks(std::span<QTimer* const> timers) : m_timers(timers.begin(), timers.end()) {
        for (QTimer* timer : m_timers) {
            timer->installEventFilter(this);
        }
    }
    HeldTicks(const HeldTicks&) = delete;
    HeldTicks& operator=(const HeldTicks&) = delete;
    ~HeldTicks() override {
        for (QTimer* timer : m_timers) {
            timer->removeEventFilter(this);
            if (m_due.contains(timer) && timer->isActive()) {
                QCoreApplication::postEvent(timer, new QTimerEvent(timer->timerId()));
            }
        }
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Timer) {
            m_due.insert(watched);
            return true;
        }
        return false;
    }

private:
    std::vector<QTimer*> m_timers;
    QSet<QObject*> m_due;
};

} // namespace

void TForm1::attachDeviceWorker() {
    m_context.deviceWork =
        [this](const std::function<void()>& work, const std::function<void()>& tick,
               app::AppContext::DeviceWork kind) { runDeviceWork(work, tick, kind); };
    m_context.onInterface = [this](const std::function<void()>& fn) {
        if (QThread::currentThread() == thread()) {
            fn();
        } else {
            QMetaObject::invokeMethod(this, fn, Qt::BlockingQueuedConnection);
        }
    };
}

void TForm1::runDeviceWork(const std::function<void()>& work, const std::function<void()>& tick,
                           app::AppContext::DeviceWork kind) {
    using Kind = app::AppContext::DeviceWork;
    if (m_deviceBusy) {
        // Nothing that starts device work is reached while a group runs (input waits, ticks
        // are held, the commands are disabled); a group asked for all the same is not run
        // beside the one that holds the port, and so reports the line's failure.
        qWarning("device work asked for while another group runs; not run");
        return;
    }
    m_cancel = false;
    m_cancelled = false;
    m_deviceBusy = true;
    m_deviceKind = kind;
    const bool brief = kind == Kind::transactions;

    // A short group (a tick, a parameter read) changes nothing on view: the user's input waits
    // until it has ended and so do the timers' ticks. A long operation stops the timers, which
    // go on afterwards as they stood, and disables whatever would start another; its "Отмена"
    // is shown: in the archive tab in the erase button's place, or in the connection dialog.
    QTimer* const timers[] = {&m_timer1, &m_timer2, &m_timer3};
    bool active[std::size(timers)] = {};
    std::optional<HeldTicks> held;
    const bool eraseHidden = m_ui->Button7->isHidden();
    // Every button that starts device work, on any tab: a scan may start while the parameters
    // or the results tab is on view.
    QAbstractButton* const commands[] = {m_ui->Button1, m_ui->Button7, m_ui->Button14,
                                         m_ui->Button6, m_ui->Button8, m_ui->Button3,
                                         m_ui->Button4};
    bool enabled[std::size(commands)] = {};
    if (brief) {
        held.emplace(timers);
    } else {
        for (std::size_t i = 0; i < std::size(timers); ++i) {
            active[i] = timers[i]->isActive();
            timers[i]->stop();
        }
        m_ui->MainMenu1->setEnabled(false);
        m_ui->PageControl1->tabBar()->setEnabled(false);
        for (std::size_t i = 0; i < std::size(commands); ++i) {
            enabled[i] = commands[i]->isEnabled();
            commands[i]->setEnabled(false);
        }
        if (m_compact != nullptr) {
            m_compact->setEnabled(false);
        }
        if (kind == Kind::archiveRead) {
            m_ui->Button7->hide();
            m_ui->CancelRead->setEnabled(true);
            m_ui->CancelRead->show();
            m_ui->CancelRead->setFocus();
        } else if (m_connection != nullptr) {
            m_connection->showCancel(true);
        }
        // The link's waits ask, every tenth of a second, whether the user cancelled.
        m_context.link.setInterruption([this] { return m_cancel.load(); });
    }

    QThread* const home = QThread::currentThread();
    QThread* const worker = QThread::create([this, &work, home] {
        work();
        m_context.link.handOver(home);
    });
    m_context.link.handOver(worker);
    QEventLoop loop;
    connect(worker, &QThread::finished, &loop, &QEventLoop::quit);
    QTimer ticker;
    ticker.setInterval(50);
    connect(&ticker, &QTimer::timeout, this, [&tick] { tick(); });
    if (!brief) {
        ticker.start();
    }
    worker->start();
    loop.exec(brief ? QEventLoop::ExcludeUserInputEvents : QEventLoop::AllEvents);
    ticker.stop();
    worker->wait();
    delete worker;
    tick();

    if (!brief) {
        m_context.link.setInterruption({});
        if (kind == Kind::archiveRead) {
            m_ui->CancelRead->hide();
            m_ui->Button7->setHidden(eraseHidden);
        } else if (m_connection != nullptr) {
            m_connection->showCancel(false);
        }
        for (std::size_t i = 0; i < std::size(commands); ++i) {
            commands[i]->setEnabled(enabled[i]);
        }
        m_ui->PageControl1->tabBar()->setEnabled(true);
        m_ui->MainMenu1->setEnabled(true);
        if (m_compact != nullptr) {
            m_compact->setEnabled(true);
        }
        for (std::size_t i = 0; i < std::size(timers); ++i) {
            if (active[i]) {
                timers[i]->start();
            }
        }
    }
    held.reset(); // the ticks that fell due meanwhile, now
    m_cancelled = m_cancel;
    m_cancel = false;
    m_deviceBusy = false;
    if (m_closeWhenDone) {
        m_closeWhenDone = false;
        QTimer::singleShot(0, this, [this] { close(); });
    }
}

void TForm1::cancelDeviceWork() {
    if (m_deviceBusy) {
        m_cancel = true;
        if (m_deviceKind == app::AppContext::DeviceWork::archiveRead) {
            m_ui->CancelRead->setEnabled(false);
        } else if (m_deviceKind == app::AppContext::DeviceWork::portScan &&
                   m_connection != nullptr) {
            m_connection->showCancel(true, false);
        }
    }
}

} // namespace veltra::forms
