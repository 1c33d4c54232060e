#include "app/ui/About.h"

#include "app/Services.h"
#include "translate/ui/FormTranslator.h"
#include "widgets/Dialogs.h"

#include <QApplication>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QMouseEvent>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

TLinkLabel::TLinkLabel(QWidget* parent) : QLabel(parent) {
    QFont underlined = font();
    underlined.setUnderline(true);
    setFont(underlined);
    setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    setCursor(Qt::PointingHandCursor);
    setForegroundRole(QPalette::Link);
}

void TLinkLabel::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit Clicked();
    QLabel::mouseReleaseEvent(event);
}

TfmAbout::TfmAbout(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("fmAbout"));
    setWindowTitle(QStringLiteral("About"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    // Tahoma where it is installed, else the system's default font.
    if (QFontDatabase::hasFamily(QStringLiteral("Tahoma")))
        setFont(QFont(QStringLiteral("Tahoma")));

    gbAbout = new QGroupBox(QStringLiteral("About program"), this);
    gbAbout->setObjectName(QStringLiteral("gbAbout"));
    imgIcon = new QLabel(gbAbout);
    imgIcon->setObjectName(QStringLiteral("imgIcon"));
    imgIcon->setPixmap(QApplication::windowIcon().pixmap(32, 32));
    imgIcon->setFixedSize(32, 32);
    lblVersion = new QLabel(ApplicationTitle(), gbAbout);
    lblVersion->setObjectName(QStringLiteral("lblVersion"));
    QFont bold = lblVersion->font();
    bold.setBold(true);
    lblVersion->setFont(bold);

    lblEmail = new QLabel(QStringLiteral("Contact email:"), gbAbout);
    lblEmail->setObjectName(QStringLiteral("lblEmail"));
    lblEmailLink = new TLinkLabel(gbAbout);
    lblEmailLink->setObjectName(QStringLiteral("lblEmailLink"));
    lblEmailLink->setText(QString::fromUtf8(kSupportAddress));
    lblEmailLink->setToolTip(QString::fromStdString(SupportMailLink()));
    lblWebsite = new QLabel(QStringLiteral("Website:"), gbAbout);
    lblWebsite->setObjectName(QStringLiteral("lblWebsite"));
    lblWebsiteLink = new TLinkLabel(gbAbout);
    lblWebsiteLink->setObjectName(QStringLiteral("lblWebsiteLink"));
    lblWebsiteLink->setText(QString::fromUtf8(kVendorSiteRoot));
    lblWebsiteLink->setToolTip(QString::fromStdString(HelpLink(std::string())));

    // The mail link opens the mail address it shows as its hint; the site link the help page
    // without a page.
    connect(lblEmailLink, &TLinkLabel::Clicked, this, [this] { ShellOpen(QUrl(lblEmailLink->toolTip())); });
    connect(lblWebsiteLink, &TLinkLabel::Clicked, this,
            [] { ShellOpen(QUrl(QString::fromStdString(HelpLink(std::string())))); });

    btnOK = new QPushButton(QStringLiteral("OK"), this);
    btnOK->setObjectName(QStringLiteral("btnOK"));
    btnOK->setDefault(true);
    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);

    // The version, the site caption and the two addresses keep their texts in every language.
    for (QLabel* label : std::initializer_list<QLabel*>{lblVersion, lblWebsite, lblEmailLink, lblWebsiteLink})
        label->setProperty("tag", -100);

    auto* grid = new QGridLayout(gbAbout);
    grid->addWidget(imgIcon, 0, 0, 3, 1, Qt::AlignTop);
    grid->addWidget(lblVersion, 0, 1, 1, 2);
    grid->addWidget(lblEmail, 1, 1);
    grid->addWidget(lblEmailLink, 1, 2);
    grid->addWidget(lblWebsite, 2, 1);
    grid->addWidget(lblWebsiteLink, 2, 2);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btnOK);
    buttons->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->addWidget(gbAbout);
    layout->addLayout(buttons);
    TranslateForm(this);
}
