#pragma once
// Ending the program with SIGTERM, SIGINT or SIGHUP (a logout, `kill`, Ctrl+C in a terminal)
// quits the event loop as closing the window does, so that the usual shutdown runs (a row's text
// handed on, the store saved, the last change sent) instead of the process dying where it stands.
// One at a time, made on the main thread after the application object; destroying it gives the
// signals back their default action.

#include <QObject>

class QSocketNotifier;

namespace jw::qt {

class QuitOnSignals final : public QObject {
    Q_OBJECT
  public:
    explicit QuitOnSignals(QObject* parent = nullptr);
    ~QuitOnSignals() override;

  private:
    QSocketNotifier* notifier_ = nullptr;
};

}  // namespace jw::qt
