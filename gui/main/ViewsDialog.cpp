#include "gui/main/ViewsDialog.h"

#include <QHBoxLayout>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <initializer_list>
#include <memory>
#include <utility>

#include "gui/main/ViewStore.h"
#include "gui/main/ViewTour.h"

namespace {

// The boxes of the views: plain text, since a view's name is the operator's.
QMessageBox* ViewBox(QWidget* parent, const QString& text, const QString& informative) {
    auto* box = new QMessageBox(parent);
    box->setIcon(QMessageBox::Warning);
    box->setWindowTitle(QStringLiteral("Quillmarsh"));
    box->setTextFormat(Qt::PlainText);
    box->setText(text);
    box->setInformativeText(informative);
    if (auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel"))) {
        label->setTextFormat(Qt::PlainText);
    }
    return box;
}

bool AskOkCancel(QWidget* parent, const QString& text, const QString& informative) {
    std::unique_ptr<QMessageBox> box(ViewBox(parent, text, informative));
    box->setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
    box->setDefaultButton(QMessageBox::Cancel);
    return box->exec() == QMessageBox::Ok;
}

void Tell(QWidget* parent, const QString& text, const QString& informative) {
    std::unique_ptr<QMessageBox> box(ViewBox(parent, text, informative));
    box->setStandardButtons(QMessageBox::Ok);
    box->exec();
}

}  // namespace

ViewsDialog::ViewsDialog(QWidget* parent, ViewStore& views, ViewTour& tour,
                         std::function<bool(const QString&)> RecallView)
    : QDialog(parent), views_(views), tour_(tour), recall_(std::move(RecallView)) {
    setObjectName(QStringLiteral("viewsDialog"));
    setAccessibleDescription(objectName());
    setWindowTitle(QStringLiteral("Views"));
    list_ = new QListWidget(this);
    list_->setObjectName(QStringLiteral("viewList"));
    const auto button = [this](const QString& field, const QString& text) {
        auto* b = new QPushButton(text, this);
        b->setObjectName(field);
        b->setAccessibleDescription(field);
        return b;
    };
    QPushButton* recall = button(QStringLiteral("recallView"), QStringLiteral("Recall"));
    QPushButton* rename = button(QStringLiteral("renameView"), QStringLiteral("Rename..."));
    QPushButton* remove = button(QStringLiteral("deleteView"), QStringLiteral("Delete"));
    tourButton_ = button(QStringLiteral("tourButton"), QStringLiteral("Start tour"));
    auto* seconds = new QSpinBox(this);
    seconds->setObjectName(QStringLiteral("tourSeconds"));
    seconds->setAccessibleName(QStringLiteral("Seconds per view"));
    seconds->setRange(2, 3600);
    seconds->setSuffix(QStringLiteral(" s"));
    seconds->setValue(tour_.seconds());
    connect(recall, &QPushButton::clicked, this, [this] { recall_(chosen()); });
    connect(list_, &QListWidget::itemActivated, this,
            [this](QListWidgetItem* item) { recall_(item->text()); });
    connect(rename, &QPushButton::clicked, this, &ViewsDialog::Rename);
    connect(remove, &QPushButton::clicked, this, [this] {
        views_.Remove(chosen());
        Refill();
    });
    connect(seconds, &QSpinBox::valueChanged, this, [this](int s) { tour_.SetSeconds(s); });
    connect(tourButton_, &QPushButton::clicked, this, [this] {
        tour_.StartOrStop();
        Refill();
    });
    auto* buttons = new QHBoxLayout;
    for (QWidget* w : std::initializer_list<QWidget*>{recall, rename, remove}) {
        buttons->addWidget(w);
    }
    auto* tourRow = new QHBoxLayout;
    tourRow->addWidget(tourButton_);
    tourRow->addWidget(seconds);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(list_);
    layout->addLayout(buttons);
    layout->addLayout(tourRow);
    Refill();
}

QString ViewsDialog::chosen() const {
    return list_->currentItem() ? list_->currentItem()->text() : QString();
}

void ViewsDialog::Refill() {
    const QString was = chosen();
    list_->clear();
    list_->addItems(views_.names());
    const auto found = list_->findItems(was, Qt::MatchExactly);
    list_->setCurrentRow(found.isEmpty() ? 0 : list_->row(found.first()));
    tourButton_->setText(tour_.touring() ? QStringLiteral("Stop tour")
                                         : QStringLiteral("Start tour"));
}

void ViewsDialog::Rename() {
    const QString from = chosen();
    bool ok = false;
    const QString to =
        QInputDialog::getText(this, QStringLiteral("Rename view"), QStringLiteral("New name:"),
                              QLineEdit::Normal, from, &ok)
            .trimmed();
    if (!ok || from.isEmpty() || to == from) {
        return;
    }
    if (!views_.Rename(from, to)) {
        Tell(this, QStringLiteral("The view \"%1\" keeps its name.").arg(from),
             to.isEmpty() ? QStringLiteral("A view needs a name.")
                          : QStringLiteral("A view named \"%1\" is saved already.").arg(to));
    }
    Refill();
}

std::optional<QString> ViewsDialog::AskNameToSave(QWidget* parent, const ViewStore& views) {
    bool ok = false;
    const QString name = QInputDialog::getText(parent, QStringLiteral("Save view"),
                                               QStringLiteral("Name of the view:"),
                                               QLineEdit::Normal, QString(), &ok)
                             .trimmed();
    if (!ok || name.isEmpty()) {
        return std::nullopt;
    }
    if (views.Find(name) &&
        !AskOkCancel(parent, QStringLiteral("Replace the view \"%1\"?").arg(name),
                     QStringLiteral("A view of this name is saved already."))) {
        return std::nullopt;
    }
    return name;
}
