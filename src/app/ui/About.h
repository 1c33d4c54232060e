#pragma once

#include <QDialog>
#include <QLabel>

class QGroupBox;
class QPushButton;

// A label that looks like a link and reports clicks.
class TLinkLabel : public QLabel {
    Q_OBJECT

public:
    explicit TLinkLabel(QWidget* parent = nullptr);

signals:
    void Clicked();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
};

// The About dialog: the program's icon and version and the vendor's contact links.
class TfmAbout : public QDialog {
    Q_OBJECT

public:
    explicit TfmAbout(QWidget* parent = nullptr);

    QGroupBox* gbAbout = nullptr;
    QLabel* imgIcon = nullptr;
    QLabel* lblVersion = nullptr;
    QLabel* lblEmail = nullptr;
    TLinkLabel* lblEmailLink = nullptr;
    QLabel* lblWebsite = nullptr;
    TLinkLabel* lblWebsiteLink = nullptr;
    QPushButton* btnOK = nullptr;
};
