#include "wizard/SwitchInformation.h"

#include <QFontDatabase>
#include <QGroupBox>
#include <QPlainTextEdit>
#include <QVBoxLayout>

QGroupBox *switchInformationGroup(QPlainTextEdit *memo, QWidget *parent)
{
    auto *group = new QGroupBox(QStringLiteral("Switch information"), parent);
    group->setObjectName(QStringLiteral("gbSwitchInformation"));
    memo->setObjectName(QStringLiteral("MemoInfo"));
    memo->setAccessibleName(group->title());
    memo->setReadOnly(true);
    memo->setLineWrapMode(QPlainTextEdit::NoWrap);
    memo->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    auto *layout = new QVBoxLayout(group);
    layout->setContentsMargins(6, 2, 6, 4);
    layout->addWidget(memo);
    return group;
}
