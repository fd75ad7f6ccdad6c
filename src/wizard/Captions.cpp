#include "wizard/Captions.h"

#include <QAbstractButton>

QString captionName(const QString &caption)
{
    QString name;
    for (qsizetype i = 0; i < caption.size(); ++i) {
        if (caption[i] == u'&' && i + 1 < caption.size())
            ++i;
        name += caption[i];
    }
    return name;
}

void setCaption(QAbstractButton *button, const QString &caption)
{
    button->setText(caption);
    button->setAccessibleName(captionName(caption));
}
