#include "frontends/qt/ShareActions.h"

#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QDir>
#include <QGuiApplication>
#include <QPrintDialog>
#include <QPrinter>
#include <QStandardPaths>
#include <QTextDocument>

#include "frontends/qt/SceneBridge.h"
#include "platform/foundation/DebugLog.h"
#include "platform/ui/ActivityViewController.h"
#include "platform/ui/Application.h"
#include "platform/ui/Window.h"

namespace jw::qt {

ShareActions::ShareActions(SceneBridge& bridge, QObject* parent)
    : QObject(parent), bridge_(bridge) {}

void ShareActions::setTestSaveFile(const QString& file) {
    if (file != testSaveFile_) {
        testSaveFile_ = file;
        emit testSaveFileChanged();
    }
}

std::shared_ptr<ui::ActivityViewController> ShareActions::sheet() const {
    const auto& window = ui::Application::shared().window();
    for (auto level = window ? window->rootViewController() : nullptr; level;
         level = level->presentedViewController()) {
        if (auto share = std::dynamic_pointer_cast<ui::ActivityViewController>(level)) {
            return share;
        }
    }
    debugLog("share: no share sheet on screen");
    return nullptr;
}

QUrl ShareActions::suggestedFile() const {
    const auto share = sheet();
    QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (folder.isEmpty()) {
        folder = QDir::homePath();
    }
    const QString name =
        share ? QString::fromStdString(share->suggestedFileName()) : QStringLiteral("Jotwell.txt");
    return QUrl::fromLocalFile(QDir(folder).filePath(name));
}

void ShareActions::copy() {
    if (const auto share = sheet()) {
        QGuiApplication::clipboard()->setText(QString::fromStdString(share->sharedText()));
        share->finish(ui::ActivityType::copyToPasteboard, true);
    }
    bridge_.refresh();
}

void ShareActions::saveTo(const QUrl& file) {
    const auto share = sheet();
    const QString path = !testSaveFile_.isEmpty() ? testSaveFile_ : file.toLocalFile();
    if (share && !path.isEmpty()) {
        // A failure is the sheet's own alert over it, giving the reason.
        share->saveToFile(path.toStdString());
    }
    bridge_.refresh();
}

void ShareActions::print() {
    const auto share = sheet();
    if (!share || !share->printedText()) {
        return;
    }
    QPrinter printer;
    printer.setDocName(QString::fromStdString(share->suggestedFileName()));
    QPrintDialog dialog(&printer);
    const bool accepted = dialog.exec() == QDialog::Accepted;
    if (accepted) {
        QTextDocument document;
        document.setPlainText(QString::fromStdString(*share->printedText()));
        document.print(&printer);
    }
    share->finish(ui::ActivityType::print, accepted);
    bridge_.refresh();
}

void ShareActions::email() {
    if (const auto share = sheet()) {
        // A failure is the sheet's own alert over it, giving the reason.
        share->sendMail([](const ui::Url& url) {
            return QDesktopServices::openUrl(QUrl(QString::fromStdString(url.absoluteString)));
        });
    }
    bridge_.refresh();
}

}  // namespace jw::qt
