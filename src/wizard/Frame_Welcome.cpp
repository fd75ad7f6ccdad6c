#include "wizard/Frame_Welcome.h"

#include "wizard/Frame_IPAddress.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

TFileVersion fileVersion(const QString &version)
{
    quint32 numbers[4] = {};
    const QStringList parts = version.split(u'.');
    for (qsizetype i = 0; i < parts.size() && i < 4; ++i)
        numbers[i] = parts[i].toUInt() & 0xFFFFu;
    return {numbers[0] << 16 | numbers[1], numbers[2] << 16 | numbers[3]};
}

QString versionLabel(const TFileVersion &version)
{
    return QStringLiteral("Version: %1.%2.%3.%4")
        .arg(version.MS >> 16)
        .arg(version.MS & 0xFFu)
        .arg(version.LS >> 16)
        .arg(version.LS & 0xFFu);
}

TFrameWelcome::TFrameWelcome(QWidget *parent)
    : QWidget(parent), Image1(new QLabel(this)),
      lblPageTitle(new QLabel(QStringLiteral("Welcome to the Tessaro wizard"), this)),
      lblPageText(new QLabel(QStringLiteral("The Tessaro Wizard will guide you through the easy steps needed to "
                                            "upgrade firmware device image.\n\n "),
                             this)),
      lblToContinueClickNext(new QLabel(QStringLiteral("To continue, click Next."), this)),
      lblVersion(new QLabel(QStringLiteral("Version"), this)),
      lblNotice(new QLabel(QStringLiteral("Tessaro is a Norvale utility. All rights reserved."), this))
{
    setObjectName(QStringLiteral("FrameWelcome"));
    setAutoFillBackground(true);
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    white.setColor(QPalette::WindowText, Qt::black);
    setPalette(white);

    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setFixedWidth(164);
    Image1->setScaledContents(true);
    lblPageTitle->setObjectName(QStringLiteral("lblPageTitle"));
    QFont title = lblPageTitle->font();
    title.setFamilies({QStringLiteral("Verdana"), QStringLiteral("DejaVu Sans")});
    title.setPixelSize(16);
    title.setBold(true);
    lblPageTitle->setFont(title);
    lblPageTitle->setWordWrap(true);
    lblPageText->setObjectName(QStringLiteral("lblPageText"));
    lblPageText->setWordWrap(true);
    lblToContinueClickNext->setObjectName(QStringLiteral("lblToContinueClickNext"));
    lblVersion->setObjectName(QStringLiteral("lblVersion"));
    lblNotice->setObjectName(QStringLiteral("lblNotice"));
    lblNotice->setAlignment(Qt::AlignRight);
    lblNotice->setWordWrap(true);

    auto *texts = new QVBoxLayout;
    texts->setContentsMargins(12, 16, 12, 10);
    texts->setSpacing(12);
    texts->addWidget(lblPageTitle);
    texts->addWidget(lblPageText);
    texts->addWidget(lblToContinueClickNext);
    texts->addStretch(1);
    texts->addWidget(lblVersion);
    texts->addWidget(lblNotice);

    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(Image1);
    layout->addLayout(texts, 1);

    LoadSidebar();
}

const QMetaObject *TFrameWelcome::NextPageClass() const
{
    return &TFrameIPAddress::staticMetaObject;
}

void TFrameWelcome::PageEntered()
{
    LoadSidebar();
    lblVersion->setText(versionLabel(fileVersion(QStringLiteral(TESSARO_VERSION))));
}

void TFrameWelcome::LoadSidebar()
{
    Image1->setPixmap(QPixmap(QStringLiteral(":/artwork/SIDEBAR.png")));
}
