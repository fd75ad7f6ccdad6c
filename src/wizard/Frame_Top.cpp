#include "wizard/Frame_Top.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

TFrameTop::TFrameTop(QWidget *parent)
    : QWidget(parent), lblTitle(new QLabel(this)), lblSubtitle(new QLabel(this)), Image1(new QLabel(this))
{
    setObjectName(QStringLiteral("FrameTop"));
    setFixedHeight(kHeight);
    setAutoFillBackground(true);
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    white.setColor(QPalette::WindowText, Qt::black);
    setPalette(white);

    lblTitle->setObjectName(QStringLiteral("lblTitle"));
    QFont bold = lblTitle->font();
    bold.setBold(true);
    lblTitle->setFont(bold);
    lblTitle->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lblSubtitle->setObjectName(QStringLiteral("lblSubtitle"));
    lblSubtitle->setWordWrap(true);
    lblSubtitle->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lblSubtitle->setContentsMargins(8, 0, 0, 0);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setFixedSize(106, 57);
    Image1->setScaledContents(true);
    Image1->setPixmap(QPixmap(QStringLiteral(":/artwork/HEADER.png")));

    auto *texts = new QVBoxLayout;
    texts->setContentsMargins(16, 8, 0, 0);
    texts->setSpacing(2);
    texts->addWidget(lblTitle);
    texts->addWidget(lblSubtitle, 1);

    auto *row = new QHBoxLayout;
    row->setContentsMargins(0, 0, 0, 0);
    row->addLayout(texts, 1);
    row->addWidget(Image1, 0, Qt::AlignTop);

    auto *line = new QFrame(this);
    line->setObjectName(QStringLiteral("Bevel1"));
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addLayout(row, 1);
    layout->addWidget(line);
}
