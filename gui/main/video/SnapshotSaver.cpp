#include "gui/main/video/SnapshotSaver.h"

#include <QBuffer>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QImage>
#include <QImageWriter>
#include <QPointer>
#include <QSaveFile>

#include "core/support/Log.h"

void SnapshotSaver::Save(QWidget* parent) {
    // The picture is encoded before the dialog opens: the surface is free again while the
    // operator picks a name.
    QByteArray jpeg;
    {
        // The surface is opaque: the fourth byte carries nothing.
        const QImage image(capture_.data(), capture_.width(), capture_.height(),
                           capture_.rowBytes(), QImage::Format_RGBX8888);
        QBuffer out(&jpeg);
        out.open(QIODevice::WriteOnly);
        QImageWriter writer(&out, "jpeg");
        writer.setQuality(90);
        if (!writer.write(image)) {
            QLog("snapshot: JPEG encoding failed: %s", writer.errorString().toUtf8().constData());
            return;
        }
    }

    saving_ = true;
    const QPointer<QWidget> owner(parent);
    const QPointer<QFileDialog> dialog(new QFileDialog(parent, QStringLiteral("Save snapshot")));
    dialog->setObjectName(QStringLiteral("snapshotDialog"));
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setFileMode(QFileDialog::AnyFile);
    dialog->setNameFilter(QStringLiteral("JPEG image (*.jpeg *.jpg)"));
    dialog->setDefaultSuffix(QStringLiteral("jpeg"));
    dialog->setDirectory(SnapshotFolder());
    dialog->selectFile(QStringLiteral("pic"));
    const int result = dialog->exec();
    // The window may have gone while the dialog ran (the end of the run), and this saver with it.
    if (!owner) {
        return;
    }
    saving_ = false;
    if (!dialog) {
        return;
    }
    QString path = dialog->selectedFiles().value(0);
    delete dialog.data();
    if (result != QDialog::Accepted || path.isEmpty()) {
        return;
    }
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix != QStringLiteral("jpeg") && suffix != QStringLiteral("jpg")) {
        path += QStringLiteral(".jpeg");
    }
    // The file appears whole or not at all.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(jpeg) != jpeg.size() || !file.commit()) {
        QLog("snapshot: writing %s failed: %s", path.toUtf8().constData(),
             file.errorString().toUtf8().constData());
    }
}

QString SnapshotSaver::SnapshotFolder() {
    const QString desktop = QDir::home().filePath(QStringLiteral("Desktop"));
    return QFileInfo(desktop).isDir() ? desktop : QDir::homePath();
}
