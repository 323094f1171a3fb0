#pragma once
// The share sheet's activities on the desktop, for QML: Copy (the clipboard), Save (a text
// file, the file chosen in QML's file dialog), Print (Qt's print dialog with the printed text)
// and Email (the mail address opened by the desktop's handler). Each acts on the share sheet
// on screen (ActivityViewController): what it shares, prints and mails is decided there, and
// each ends by finishing the sheet with its activity; an activity given up (the print dialog
// cancelled, no mail handler) finishes it as not completed. With no sheet on screen a call
// does nothing (logged).
//
// Test seam: with `testSaveFile` set, Save writes there instead of asking QML for a file (the
// native file dialog cannot be used headless); nothing else changes.
//
// Main thread only; printing needs a QApplication.

#include <QObject>
#include <QString>
#include <QUrl>

#include <memory>

namespace jw::ui {
class ActivityViewController;
}

namespace jw::qt {

class SceneBridge;

class ShareActions final : public QObject {
    Q_OBJECT
    Q_PROPERTY(
        QString testSaveFile READ testSaveFile WRITE setTestSaveFile NOTIFY testSaveFileChanged)
    Q_PROPERTY(QUrl suggestedFile READ suggestedFile CONSTANT)
  public:
    explicit ShareActions(SceneBridge& bridge, QObject* parent = nullptr);

    QString testSaveFile() const { return testSaveFile_; }
    void setTestSaveFile(const QString& file);
    // Where the file dialog starts: the documents folder, named after what is shared.
    QUrl suggestedFile() const;

    Q_INVOKABLE void copy();
    Q_INVOKABLE void saveTo(const QUrl& file);
    Q_INVOKABLE void print();
    Q_INVOKABLE void email();

  signals:
    void testSaveFileChanged();

  private:
    std::shared_ptr<ui::ActivityViewController> sheet() const;

    SceneBridge& bridge_;
    QString testSaveFile_;
};

}  // namespace jw::qt
