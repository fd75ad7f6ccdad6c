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

    m_texts = new QVBoxLayout;
    m_texts->setContentsMargins(16, 8, 0, 0);
    m_texts->setSpacing(2);
    m_texts->addWidget(lblTitle);
    m_texts->addWidget(lblSubtitle, 1);

    auto *row = new QHBoxLayout;
    row->setContentsMargins(0, 0, 0, 0);
    row->addLayout(m_texts, 1);
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

// A fixed-size label without an alignment caps the width of its column, which the header
// then shifts right, title included.
void TFrameTop::setSubtitleSize(int width, int height)
{
    lblSubtitle->setFixedSize(width, height);
    m_texts->setAlignment(lblSubtitle, Qt::AlignLeft | Qt::AlignTop);
}
