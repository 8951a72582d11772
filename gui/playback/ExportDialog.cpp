#include "gui/playback/ExportDialog.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QTimeEdit>
#include <QTimer>
#include <QVBoxLayout>

#include "core/ViewController.h"
#include "core/dvr/DvrSlot.h"
#include "core/export/ClipExport.h"
#include "gui/support/CoreContext.h"

namespace {

const QString kFolderKey = QStringLiteral("export/folder");

int32_t Seconds(const QTime& t) {
    return t.hour() * 3600 + t.minute() * 60 + t.second();
}

}  // namespace

ExportDialog::ExportDialog(QWidget* parent, CoreContext& context, int dvr, QDate day,
                           int32_t second, uint32_t channels, QString displayName)
    : QDialog(parent),
      context_(context),
      dvr_(dvr),
      day_(day),
      channels_(channels),
      displayName_(std::move(displayName)),
      poll_(new QTimer(this)) {
    setObjectName(QStringLiteral("exportDialog"));
    setWindowTitle(QStringLiteral("Export"));
    setAttribute(Qt::WA_DeleteOnClose);
    const QTime from = QTime(0, 0).addSecs(second);
    fromEdit = new QTimeEdit(from, this);
    // Five minutes later, within the day.
    toEdit = new QTimeEdit(second + 300 < 86400 ? from.addSecs(300) : QTime(23, 59, 59), this);
    fromEdit->setDisplayFormat(QStringLiteral("HH:mm:ss"));
    toEdit->setDisplayFormat(QStringLiteral("HH:mm:ss"));
    folderEdit = new QLineEdit(QSettings().value(kFolderKey).toString(), this);
    progress = new QProgressBar(this);
    progress->setValue(0);
    statusText = new QLabel(this);
    statusText->setTextFormat(Qt::PlainText);
    exportButton = new QPushButton(QStringLiteral("Export"), this);
    cancelButton = new QPushButton(QStringLiteral("Cancel"), this);
    fromEdit->setObjectName(QStringLiteral("exportFrom"));
    toEdit->setObjectName(QStringLiteral("exportTo"));
    folderEdit->setObjectName(QStringLiteral("exportFolder"));
    progress->setObjectName(QStringLiteral("exportProgress"));
    exportButton->setObjectName(QStringLiteral("exportStart"));
    cancelButton->setObjectName(QStringLiteral("exportCancel"));

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("From"), fromEdit);
    form->addRow(QStringLiteral("To"), toEdit);
    form->addRow(QStringLiteral("Folder"), folderEdit);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(exportButton);
    buttons->addWidget(cancelButton);
    auto* whole = new QVBoxLayout(this);
    whole->addLayout(form);
    whole->addWidget(progress);
    whole->addWidget(statusText);
    whole->addLayout(buttons);

    connect(exportButton, &QPushButton::clicked, this, &ExportDialog::StartExport);
    connect(cancelButton, &QPushButton::clicked, this, &ExportDialog::reject);
    poll_->setInterval(200);
    connect(poll_, &QTimer::timeout, this, &ExportDialog::Poll);
}

ExportDialog::~ExportDialog() {
    if (export_) {
        export_->Cancel();
        Detach();
    }
}

void ExportDialog::StartExport() {
    const int32_t from = Seconds(fromEdit->time());
    const int32_t to = Seconds(toEdit->time());
    const QString folder = folderEdit->text();
    if (export_ || from >= to || folder.isEmpty() || channels_ == 0) {
        statusText->setText(from >= to ? QStringLiteral("The end must come after the start.")
                                       : QStringLiteral("Choose a folder and a channel."));
        return;
    }
    QSettings().setValue(kFolderKey, folder);
    ClipExport::Range range;
    range.folder = folder.toStdString();
    range.displayName = displayName_.toStdString();
    range.year = day_.year();
    range.month = day_.month();
    range.day = day_.day();
    // The DVR's seconds are on the UTC calendar.
    range.dayStart = QDate(1970, 1, 1).daysTo(day_) * int64_t{86400};
    range.from = from;
    range.to = to;
    range.channels = channels_;
    export_ = std::make_unique<ClipExport>(range);
    ViewController* vc = context_.controller();
    if (!vc) {
        export_.reset();
        return;
    }
    vc->Slot(dvr_).SetTap(&export_->tap(), channels_);
    export_->Start();
    vc->RequestPlay(dvr_, from, channels_, 0, 0);
    progress->setRange(0, to - from);
    progress->setValue(0);
    exportButton->setEnabled(false);
    fromEdit->setEnabled(false);
    toEdit->setEnabled(false);
    folderEdit->setEnabled(false);
    statusText->setText(QStringLiteral("Exporting..."));
    poll_->start();
}

void ExportDialog::reject() {
    if (export_) {
        export_->Cancel();  // the poll closes the dialog once the thread ended
        statusText->setText(QStringLiteral("Cancelling..."));
        return;
    }
    QDialog::reject();
}

void ExportDialog::Detach() {
    if (ViewController* vc = context_.controller()) {
        vc->Slot(dvr_).RemoveTap(&export_->tap());
        vc->RequestStopPlay(dvr_);
    }
    export_.reset();
}

void ExportDialog::Poll() {
    if (!export_) {
        return;
    }
    progress->setValue(export_->lastSecond() - Seconds(fromEdit->time()));
    if (!export_->done()) {
        return;
    }
    poll_->stop();
    const bool cancelled = export_->cancelled();
    const std::vector<ClipExport::Outcome> outcomes = export_->outcomes();
    Detach();
    if (cancelled) {
        QDialog::reject();
        return;
    }
    int written = 0;
    std::string failure;
    for (const ClipExport::Outcome& o : outcomes) {
        written += o.result == ClipWriter::Result::Written ? 1 : 0;
        if (o.result == ClipWriter::Result::Failed && failure.empty()) {
            failure = o.error;
        }
    }
    const std::string text = !failure.empty() ? "The clips could not be written: " + failure
                             : written == 0   ? std::string("Nothing was recorded in the range.")
                                              : std::string();
    if (text.empty()) {
        statusText->setText(QStringLiteral("%1 clips written.").arg(written));
        accept();
        return;
    }
    statusText->setText(QString::fromStdString(text));
    exportButton->setEnabled(true);
    fromEdit->setEnabled(true);
    toEdit->setEnabled(true);
    folderEdit->setEnabled(true);
    if (ViewController* vc = context_.controller()) {
        vc->ui().MessageBoxLater(std::nullopt, text, {});
    }
}
