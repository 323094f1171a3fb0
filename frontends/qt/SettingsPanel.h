#pragma once
// What the settings dialog (SettingsDialog.qml) binds to: the cloud folder and its sync state
// as CloudSettings words them, and its buttons. The dialog calls refresh() while it shows;
// the texts change only then (and after a button), each change signalled once.
//
// chooseFolder moves sync to another folder (CloudSettings::chooseFolder); while it runs
// `moving` is true, and its outcome is `message` (empty on success). openRequested() asks the
// window to show the dialog (Ctrl+, in QML, or `jotwell --settings`).
//
// Main thread only. Made by AppHost over the running application.

#include <QObject>
#include <QString>
#include <QUrl>

#include <memory>

#include "src/app/CloudSettings.h"

namespace jw::qt {

class SettingsPanel final : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString folder READ folder NOTIFY changed)
    Q_PROPERTY(QUrl folderUrl READ folderUrl NOTIFY changed)
    Q_PROPERTY(QString state READ state NOTIFY changed)
    Q_PROPERTY(QString waiting READ waiting NOTIFY changed)
    Q_PROPERTY(QString problem READ problem NOTIFY changed)
    Q_PROPERTY(QString note READ note NOTIFY changed)
    Q_PROPERTY(QString message READ message NOTIFY changed)
    Q_PROPERTY(bool canReattach READ canReattach NOTIFY changed)
    Q_PROPERTY(bool busy READ busy NOTIFY changed)
    Q_PROPERTY(bool moving READ moving NOTIFY changed)
  public:
    SettingsPanel(std::unique_ptr<CloudSettings> settings, QObject* parent = nullptr);
    ~SettingsPanel() override;

    QString folder() const { return folder_; }
    QUrl folderUrl() const { return QUrl::fromLocalFile(folder_); }
    QString state() const { return state_; }
    QString waiting() const { return waiting_; }
    QString problem() const { return problem_; }
    QString note() const { return note_; }
    QString message() const { return message_; }
    bool canReattach() const { return canReattach_; }
    bool busy() const { return busy_; }
    bool moving() const { return moving_; }

    Q_INVOKABLE void refresh();
    Q_INVOKABLE void chooseFolder(const QUrl& folder);
    Q_INVOKABLE void reattach();
    // Asks the window to show the dialog.
    Q_INVOKABLE void requestOpen() { emit openRequested(); }

  signals:
    void changed();
    void openRequested();

  private:
    std::unique_ptr<CloudSettings> settings_;
    QString folder_, state_, waiting_, problem_, note_, message_;
    bool canReattach_ = false;
    bool busy_ = false;
    bool moving_ = false;
};

}  // namespace jw::qt
