#pragma once
#include <QDialog>
#include <QPoint>

class IMessageBoxes;
class QFrame;
class QLabel;
class QPushButton;

// The about box: one non-modal window, created hidden at start-up and kept until the program ends.
class TAboutBox : public QDialog {
    Q_OBJECT
public:
    explicit TAboutBox(IMessageBoxes &boxes, QWidget *parent = nullptr);

    // Shows the box and brings it to the front: centred on the screen the first time, else where it was
    // last hidden.
    void ShowAndRaise();
    void OKButtonClick();

    // The box is designed at 120 pixels per inch and scaled to the screen's density when it is created.
    static int Scaled(int designed, qreal screenDpi);

    QFrame *Panel1 = nullptr;
    QLabel *ProgramIcon = nullptr;
    QLabel *ProductName = nullptr;
    QLabel *Version = nullptr;
    QPushButton *OKButton = nullptr;

protected:
    void hideEvent(QHideEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void Build(qreal dpi);
    void CentreOnScreen();

    IMessageBoxes &boxes_;
    bool shownBefore_ = false;
    QPoint lastPos_;
};

extern TAboutBox *AboutBox;
