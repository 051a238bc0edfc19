#pragma once

#include <QPushButton>

namespace chooser {

// A push button whose caption wraps onto as many lines as it needs: the paging buttons are
// narrower than their two-symbol captions, which then stand one above the other.
class PagingButton : public QPushButton
{
    Q_OBJECT
    Q_DISABLE_COPY(PagingButton)

public:
    explicit PagingButton(const QString &caption, QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *event) override;
};

} // namespace chooser
