#pragma once

#include "platform/widgets/form.h"

class QLabel;

namespace search {

// Form2: the small borderless window shown while a search runs. Esc or closing it asks for the
// run to be cancelled.
class Form2 : public platform::Form
{
    Q_OBJECT
    Q_DISABLE_COPY(Form2)

public:
    explicit Form2(QWidget *parent = nullptr);

    QLabel *Label1() const { return m_Label1; }
    // Places the window centred over `anchor` (the launcher).
    void centreOver(const QWidget *anchor);

Q_SIGNALS:
    void cancelRequested();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    QLabel *m_Label1;
};

} // namespace search
