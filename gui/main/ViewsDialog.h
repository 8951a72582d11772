// "Views...": the list of the saved views, to recall, rename or delete them, and to start or stop
// the tour at the pace set beside its button. Also the question "Save view..." asks before a
// view is saved.
//
// Ownership: a child of the main window, made on first use; the window's ViewStore and ViewTour
// must outlive it. Views are recalled through the function it is given.
//
// Threads: GUI thread only.
#pragma once

#include <QDialog>
#include <QString>

#include <functional>
#include <optional>

class QListWidget;
class QPushButton;
class ViewStore;
class ViewTour;

class ViewsDialog : public QDialog {
    Q_OBJECT

  public:
    ViewsDialog(QWidget* parent, ViewStore& views, ViewTour& tour,
                std::function<bool(const QString&)> RecallView);

    // The list follows the saved views (keeping the view chosen), the tour button the tour.
    void Refill();

    // "Save view...": asks for a name, and before replacing a view of that name. The name to save
    // under, or nothing when the operator turned it down.
    static std::optional<QString> AskNameToSave(QWidget* parent, const ViewStore& views);

  private:
    QString chosen() const;
    void Rename();

    ViewStore& views_;
    ViewTour& tour_;
    std::function<bool(const QString&)> recall_;
    QListWidget* list_;
    QPushButton* tourButton_;
};
