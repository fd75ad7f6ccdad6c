#pragma once

#include <QWidget>

class QLabel;
class QVBoxLayout;

// The header of most pages: a white band 60 high with the page's bold title, a word-wrapped
// subtitle (the run pages put their current step there) and the header picture at the right.
class TFrameTop final : public QWidget
{
    Q_OBJECT

public:
    explicit TFrameTop(QWidget *parent = nullptr);
    Q_DISABLE_COPY_MOVE(TFrameTop)

    QLabel *lblTitle;
    QLabel *lblSubtitle;
    QLabel *Image1;

    static constexpr int kHeight = 60;

    // A subtitle of a fixed size, as the run pages show their steps, kept at the top left
    // where the other pages have theirs.
    void setSubtitleSize(int width, int height);

private:
    QVBoxLayout *m_texts;
};
