#pragma once
// One running application per data folder: the first one listens on a local socket named
// after the folder's canonical path (and the user), and a later start over the same folder
// hands its request to it instead of starting again.
//
// A request is one line: "show" (bring the window forward) or "settings" (the same, with the
// settings dialog open); the running application answers "ok" once it has acted on it.
//
// forward() is the later start's side: true once the running one answered; false, with the
// reason in `whyNot`, when none listens or it did not answer in time. listen() is the running
// one's side; call it only while holding the data folder's FolderLock (a socket file left by a
// process that died is removed then, which would cut off a live listener otherwise). Each
// request arrives as requested().
//
// Main thread only.

#include <QLocalServer>
#include <QObject>
#include <QString>

#include <filesystem>

namespace jw::qt {

class InstanceChannel final : public QObject {
    Q_OBJECT
  public:
    explicit InstanceChannel(QObject* parent = nullptr);

    static QString serverName(const std::filesystem::path& dataDirectory);
    static bool forward(const QString& serverName, const QString& request, QString* whyNot,
                        int timeoutMilliseconds = 5000);

    // False, with the reason in `whyNot`, when the socket cannot be made.
    bool listen(const QString& serverName, QString* whyNot);

  signals:
    void requested(const QString& request);

  private:
    QLocalServer server_;
};

}  // namespace jw::qt
